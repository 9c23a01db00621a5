// The fake-path scheme: what is recognised as a library path, and what is read back from it.
#include <gtest/gtest.h>

#include "FlashPlayerControl/content/MemoryPaths.h"

namespace {

const std::wstring Marker = L"46A10F369771449587DE913EFC0A258C";

struct ParseCase {
    std::wstring Path;
    bool Recognised;
    int32_t Id;
    std::wstring Relative;
};

}  // namespace

TEST(MemoryPaths, FormatsAndConstants) {
    EXPECT_EQ(std::wstring(MemoryPathMarker).size(), 32u);
    EXPECT_EQ(FormatMoviePath(7),
              L"Z:\\FromMemory\\46A10F369771449587DE913EFC0A258C\\7\\E4ED7C01D28A43418DBF2CB92CC35E56.swf");
    EXPECT_EQ(std::wstring(ResetMovieURL), L"file://" + Marker.substr(0, 31));
}

TEST(MemoryPaths, ParseReadsIdAndRelativePathInAnyOfThePlayersForms) {
    const ParseCase cases[] = {
        {L"Z:\\FromMemory\\" + Marker + L"\\12\\img/a.png", true, 12, L"img/a.png"},
        {L"file:///Z:/FromMemory/" + Marker + L"/3/sub\\dir\\b.jpg", true, 3, L"sub/dir/b.jpg"},
        {L"Z:\\FromMemory\\" + Marker + L"\\12/", true, 12, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\-4\\x", true, -4, L"x"},
        {L"Z:\\FromMemory\\" + Marker + L"\\2147483647\\x", true, 2147483647, L"x"},
        // Not recognised: nothing after the marker, no slash after the id, no marker at all.
        {L"Z:\\FromMemory\\" + Marker, false, 0, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\", false, 0, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\12", false, 0, L""},
        {ResetMovieURL, false, 0, L""},
        {L"http://example.com/movie.swf", false, 0, L""},
        // An id that is not a plain decimal 32-bit number is not a library path.
        {L"Z:\\FromMemory\\" + Marker + L"\\1x\\a.png", false, 0, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\\\a.png", false, 0, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\ 5\\a.png", false, 0, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\2147483648\\a.png", false, 0, L""},
        {L"Z:\\FromMemory\\" + Marker + L"\\99999999999999999999\\a.png", false, 0, L""},
    };
    for (const ParseCase& c : cases) {
        int32_t id = -99;
        std::wstring relative = L"unchanged";
        EXPECT_EQ(ParseMemoryPath(c.Path, id, relative), c.Recognised) << std::string(c.Path.begin(), c.Path.end());
        if (c.Recognised) {
            EXPECT_EQ(id, c.Id);
            EXPECT_EQ(relative, c.Relative);
        } else {
            EXPECT_EQ(id, -99);  // nothing read back from a path that is not recognised
        }
    }
}

TEST(MemoryPaths, SameResourceComparesIdAndRelativePathOrPlainText) {
    std::wstring movie = FormatMoviePath(5);
    EXPECT_TRUE(SameResourcePath(movie, L"file:///Z:/FromMemory/" + Marker + L"/5/E4ED7C01D28A43418DBF2CB92CC35E56.swf"));
    EXPECT_FALSE(SameResourcePath(movie, FormatMoviePath(6)));
    EXPECT_FALSE(SameResourcePath(movie, L"Z:\\FromMemory\\" + Marker + L"\\5\\e4ed7c01d28a43418dbf2cb92cc35e56.swf"));
    EXPECT_FALSE(SameResourcePath(movie, L"C:\\movie.swf"));
    EXPECT_TRUE(SameResourcePath(L"C:\\movie.swf", L"C:\\movie.swf"));
    EXPECT_FALSE(SameResourcePath(L"C:\\movie.swf", L"c:\\movie.swf"));
}
