#include <gtest/gtest.h>

#include "refplayer/core/TextCodec.h"
#include "refplayer/core/VariableTable.h"

using namespace refplayer;

TEST(FlashVars, DecodesPercentEscapesAndPlus) {
    VariableTable table;
    table.LoadFlashVars(L"a=1&b=hello%20world&c=x+y&url=http%3A%2F%2Fhost%2Fa.flv%3Fq%3D1");
    EXPECT_EQ(table.Count(), 4u);
    EXPECT_EQ(table.Get(L"a"), L"1");
    EXPECT_EQ(table.Get(L"b"), L"hello world");
    EXPECT_EQ(table.Get(L"c"), L"x y");
    EXPECT_EQ(table.Get(L"url"), L"http://host/a.flv?q=1");
    EXPECT_FALSE(table.Get(L"d"));
}

TEST(FlashVars, SplitsOnAmpersandAndFirstEquals) {
    auto pairs = ParseFlashVars(L"&&flag&path=a=b&%41%62=%7e&=v&");
    ASSERT_EQ(pairs.size(), 4u);
    EXPECT_EQ(pairs[0], std::make_pair(std::wstring(L"flag"), std::wstring()));
    EXPECT_EQ(pairs[1], std::make_pair(std::wstring(L"path"), std::wstring(L"a=b")));
    EXPECT_EQ(pairs[2], std::make_pair(std::wstring(L"Ab"), std::wstring(L"~"))); // names decode too
    EXPECT_EQ(pairs[3], std::make_pair(std::wstring(), std::wstring(L"v")));
    EXPECT_TRUE(ParseFlashVars(L"").empty());
}

TEST(FlashVars, NamesAreCaseSensitiveAndLaterAssignmentsWin) {
    VariableTable table;
    table.Set(L"kept", L"old");
    table.LoadFlashVars(L"a=1&A=2&a=3");
    EXPECT_EQ(table.Get(L"a"), L"3");
    EXPECT_EQ(table.Get(L"A"), L"2");
    EXPECT_EQ(table.Get(L"kept"), L"old");
    table.LoadFlashVars(L"kept=new");
    EXPECT_EQ(table.Get(L"kept"), L"new");
}

TEST(FlashVars, EscapedBytesAreUtf8WithLatin1Fallback) {
    EXPECT_EQ(UrlDecode(L"%C3%A9t%C3%A9"), L"\u00e9t\u00e9");
    EXPECT_EQ(UrlDecode(L"%F0%9F%98%80!"), L"\U0001F600!");
    EXPECT_EQ(UrlDecode(L"caf%E9"), L"caf\u00e9");          // not UTF-8: one character per byte
    EXPECT_EQ(UrlDecode(L"%zz%4%"), L"%zz%4%");               // incomplete escapes stay
    EXPECT_EQ(UrlDecode(L"\u00e9\U0001F600%20"), L"\u00e9\U0001F600 "); // unescaped text passes through
}

TEST(TextCodec, Utf8RoundTripsAllPlanes) {
    std::wstring text = L"a\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    // Overlong and truncated sequences are not UTF-8.
    EXPECT_EQ(FromUtf8("\xC0\xAF"), L"\u00c0\u00af");
    EXPECT_EQ(FromUtf8("x\xE2\x82"), L"x\u00e2\u0082");
    EXPECT_EQ(FromUtf8("\xED\xA0\x80"), L"\u00ed\u00a0\u0080"); // an encoded surrogate
}
