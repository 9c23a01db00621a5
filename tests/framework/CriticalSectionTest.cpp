#include "framework/CriticalSection.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

// Whether another thread could take the section right now.
bool FreeForAnotherThread(TCriticalSection& section) {
    bool entered = false;
    std::thread other([&] {
        entered = section.TryEnter();
        if (entered) section.Leave();
    });
    other.join();
    return entered;
}

}  // namespace

TEST(CriticalSectionGuard, HoldsTheSectionForItsScope) {
    TCriticalSection section;
    {
        TCriticalSectionGuard guard(section);
        EXPECT_FALSE(FreeForAnotherThread(section));
    }
    EXPECT_TRUE(FreeForAnotherThread(section));
}

TEST(CriticalSectionGuard, LeavesWhenTheScopeEndsByAnError) {
    TCriticalSection section;
    try {
        TCriticalSectionGuard guard(section);
        throw std::runtime_error("failure inside");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(FreeForAnotherThread(section));
}

TEST(CriticalSectionGuard, TheOwningThreadMayEnterAgain) {
    TCriticalSection section;
    {
        TCriticalSectionGuard outer(section);
        {
            TCriticalSectionGuard inner(section);
        }
        EXPECT_FALSE(FreeForAnotherThread(section)) << "the outer guard still holds it";
    }
    EXPECT_TRUE(FreeForAnotherThread(section));
}
