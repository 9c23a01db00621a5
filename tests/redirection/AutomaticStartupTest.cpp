// A program that includes the library's header has the library started before its own code
// runs, with nothing to call: the header's start-up object is linked in with it.
#include "FlashPlayerControl/FlashPlayerControl.h"

#include <gtest/gtest.h>

#include "FlashPlayerControl/content/ContentManager.h"
#include "FlashPlayerControl/loader/CodeProvider.h"

namespace {

// A static object of the program, made after the header's: it already sees a started library.
struct TProgramGlobal {
    TProgramGlobal() : SawStartedLibrary(FlashPlayerLibraryStarted() && FlashCodeProvider != nullptr) {}
    bool SawStartedLibrary;
} programGlobal;

}  // namespace

TEST(AutomaticStartup, LibraryIsStartedBeforeTheProgramsOwnStaticObjects) {
    EXPECT_TRUE(programGlobal.SawStartedLibrary);
    EXPECT_TRUE(FlashPlayerLibraryStarted());
    EXPECT_NE(ContentManager, nullptr);
    EXPECT_NE(CreateURLMonikerProc, nullptr);
    EXPECT_TRUE(GetSoundsEnabled());
}
