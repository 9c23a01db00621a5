#include "FlashPlayerControl/loader/KeyedMaps.h"

#include <gtest/gtest.h>

#include <string>

TEST(MapCardinal2Cardinal, FindOnEmptyMapLeavesTheValueAlone) {
    TMapCardinal2Cardinal map;
    uint32_t value = 77;
    EXPECT_FALSE(map.Find(5, value));
    EXPECT_EQ(value, 77u);
}

TEST(MapCardinal2Cardinal, AddAppendsAndTheOldestPairWins) {
    TMapCardinal2Cardinal map;
    map.Add(5, 2);
    map.Add(5, 1);
    map.Add(0xFFFFFFFF, 4);
    EXPECT_EQ(map.Count(), 3u);
    uint32_t value = 0;
    ASSERT_TRUE(map.Find(5, value));
    EXPECT_EQ(value, 2u);
    ASSERT_TRUE(map.Find(0xFFFFFFFF, value));
    EXPECT_EQ(value, 4u);
    value = 9;
    EXPECT_FALSE(map.Find(6, value));
    EXPECT_EQ(value, 9u);
}

TEST(MapString2String, FindOnEmptyMapLeavesTheValueAlone) {
    TMapString2String map;
    std::string value = "untouched";
    EXPECT_FALSE(map.Find("abc", value));
    EXPECT_EQ(value, "untouched");
}

TEST(MapString2String, KeysEqualIgnoringCaseShareOnePairThatKeepsItsFirstSpelling) {
    TMapString2String map;
    map.Add("abc", "A");
    map.Add("ABC", "B");
    ASSERT_EQ(map.Count(), 1u);
    EXPECT_EQ(map.Item(0).Key, "abc");
    EXPECT_EQ(map.Item(0).Value, "B");
    std::string value;
    ASSERT_TRUE(map.Find("Abc", value));
    EXPECT_EQ(value, "B");
}

TEST(MapString2String, DistinctKeysKeepTheirOwnValuesInOrder) {
    TMapString2String map;
    map.Add("PlayerWindow", "FlashPlayerControl_PlayerWindow_1");
    map.Add("Static", "FlashPlayerControl_Static_1");
    map.Add("abc", "x");
    map.Add("abcd", "y");
    ASSERT_EQ(map.Count(), 4u);
    EXPECT_EQ(map.Item(2).Key, "abc");
    EXPECT_EQ(map.Item(3).Key, "abcd");
    std::string value;
    ASSERT_TRUE(map.Find("STATIC", value));
    EXPECT_EQ(value, "FlashPlayerControl_Static_1");
    ASSERT_TRUE(map.Find("ABCD", value));
    EXPECT_EQ(value, "y");
    ASSERT_TRUE(map.Find("abc", value));
    EXPECT_EQ(value, "x");
    EXPECT_FALSE(map.Find("ab", value)) << "a prefix is not a match";
    EXPECT_FALSE(map.Find("", value));
}

TEST(MapString2String, EmptyKeyIsAKeyLikeAnyOther) {
    TMapString2String map;
    map.Add("", "empty");
    std::string value;
    ASSERT_TRUE(map.Find("", value));
    EXPECT_EQ(value, "empty");
    EXPECT_FALSE(map.Find("a", value));
}
