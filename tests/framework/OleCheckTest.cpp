#include "framework/Exceptions.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

TEST(OleCheck, SuccessCodesPass) {
    EXPECT_NO_THROW(OleCheck(0));
    EXPECT_NO_THROW(OleCheck(1));  // S_FALSE
}

TEST(OleCheck, FailureRaisesWithTheCodeAndATrimmedMessage) {
    const int32_t outOfMemory = static_cast<int32_t>(0x8007000EU);
    try {
        OleCheck(outOfMemory);
        FAIL() << "a failure code must raise";
    } catch (const EOleError& error) {
        EXPECT_EQ(error.ErrorCode, outOfMemory);
        ASSERT_FALSE(error.Message.empty());
        EXPECT_FALSE(std::isspace(static_cast<unsigned char>(error.Message.back())))
            << "'" << error.Message << "'";
#ifdef _WIN32
        // The system knows this code: its text, not the numeric fallback.
        EXPECT_EQ(error.Message.find("8007000E"), std::string::npos) << error.Message;
#else
        EXPECT_NE(error.Message.find("8007000E"), std::string::npos) << error.Message;
#endif
    }
}

TEST(ErrorText, FormatReplacesThePlaceholderVerbatim) {
    EXPECT_EQ(ErrorText::Format(ErrorText::CannotOpenFile, "C:\\100%s\\a.swf"),
              "Cannot open file C:\\100%s\\a.swf");
    EXPECT_EQ(ErrorText::Format(ErrorText::ResourceNotFound, "7"), "Resource 7 not found");
}
