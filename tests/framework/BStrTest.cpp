#include "framework/BStr.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

TEST(BStr, NullIsTheEmptyString) {
    TBStr empty;
    EXPECT_EQ(empty.Get(), nullptr);
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.ToWString(), L"");
    EXPECT_EQ(empty.ToString(), "");
    EXPECT_EQ(TBStr(static_cast<const wchar_t*>(nullptr)).Get(), nullptr);
}

TEST(BStr, WideTextKeepsItsFullLengthIncludingNuls) {
    const std::wstring text(L"ab\0cd", 5);
    TBStr value(text);
    EXPECT_EQ(value.Length(), 5u);
    EXPECT_EQ(SysStringLen(value.Get()), 5u);
    EXPECT_EQ(value.ToWString(), text);
    EXPECT_EQ(TBStr(L"plain").ToWString(), L"plain");
}

TEST(BStr, AnsiTextConvertsBothWays) {
    TBStr value(std::string("Movie.swf"));
    EXPECT_EQ(value.ToWString(), L"Movie.swf");
    EXPECT_EQ(value.ToString(), "Movie.swf");
    EXPECT_EQ(TBStr(std::string()).Length(), 0u);
}

TEST(BStr, DetachHandsTheStringOverAndPutEmptiesFirst) {
    TBStr value(L"owned");
    BSTR raw = value.Detach();
    EXPECT_EQ(value.Get(), nullptr);
    EXPECT_EQ(std::wstring(raw), L"owned");
    SysFreeString(raw);

    TBStr out(L"old");
    BSTR* slot = out.Put();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(L"filled");
    EXPECT_EQ(out.ToWString(), L"filled");
}

TEST(BStr, MoveLeavesTheSourceEmpty) {
    TBStr first(L"text");
    BSTR raw = first.Get();
    TBStr second(std::move(first));
    EXPECT_EQ(first.Get(), nullptr);
    EXPECT_EQ(second.Get(), raw);
    TBStr third(L"other");
    third = std::move(second);
    EXPECT_EQ(third.Get(), raw);
    EXPECT_EQ(second.Get(), nullptr);
}
