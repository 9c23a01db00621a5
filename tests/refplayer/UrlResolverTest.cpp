#include <gtest/gtest.h>

#include "refplayer/core/TextCodec.h"
#include "refplayer/core/UrlResolver.h"

using namespace refplayer;

TEST(UrlResolver, ClassifiesSchemesAndDrives) {
    struct Case {
        const wchar_t* url;
        bool scheme;
        bool absolutePath;
    } cases[] = {
        {L"http://host/a.swf", true, false},
        {L"file:///C:/a.swf", true, false},
        {L"FSCommand:quit", true, false},
        {L"svn+ssh://h/x", true, false},
        {L"C:\\dir\\movie.swf", false, true},
        {L"c:/dir/movie.swf", false, true},
        {L"\\\\server\\share\\a.swf", false, true},
        {L"C:movie.swf", false, false},
        {L"images/a.jpg", false, false},
        {L"1http://x", false, false},
        {L"a b:c", false, false},
        {L"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HasUrlScheme(c.url), c.scheme) << ToUtf8(c.url);
        EXPECT_EQ(IsAbsoluteLocalPath(c.url), c.absolutePath) << ToUtf8(c.url);
    }
}

TEST(UrlResolver, ResolvesAgainstUrlsAndLocalPaths) {
    struct Case {
        const wchar_t* base;
        const wchar_t* reference;
        const wchar_t* expected;
    } cases[] = {
        // Scheme URLs.
        {L"http://host/a/b.swf", L"c.jpg", L"http://host/a/c.jpg"},
        {L"http://host/a/b.swf", L"img/c.jpg", L"http://host/a/img/c.jpg"},
        {L"http://host/a/b/c.swf", L"../d.jpg", L"http://host/a/d.jpg"},
        {L"http://host/a/b.swf", L"../../../d.jpg", L"http://host/d.jpg"},
        {L"http://host/a/b.swf", L"./x/./y/../z.xml", L"http://host/a/x/z.xml"},
        {L"http://host/a/b.swf", L"/root.xml", L"http://host/root.xml"},
        {L"http://host/a/b.swf", L"//other/x.swf", L"http://other/x.swf"},
        {L"http://host/a/b.swf?x=1#f", L"c.jpg?y=2", L"http://host/a/c.jpg?y=2"},
        {L"http://host/a/b.swf?x=1", L"?y=2", L"http://host/a/b.swf?y=2"},
        {L"http://host", L"c.jpg", L"http://host/c.jpg"},
        {L"http://host/a/b.swf", L"ftp://x/y", L"ftp://x/y"},
        {L"file:///C:/dir/movie.swf", L"img/a.jpg", L"file:///C:/dir/img/a.jpg"},
        // Windows paths keep their backslashes.
        {L"C:\\dir\\movie.swf", L"img/a.jpg", L"C:\\dir\\img\\a.jpg"},
        {L"C:\\dir\\sub\\movie.swf", L"..\\a.jpg", L"C:\\dir\\a.jpg"},
        {L"C:\\dir\\movie.swf", L"../../../a.jpg", L"C:\\a.jpg"},
        {L"C:\\dir\\movie.swf", L"\\other\\a.jpg", L"C:\\other\\a.jpg"},
        {L"C:\\dir\\movie.swf", L"D:\\x.jpg", L"D:\\x.jpg"},
        {L"C:\\movie.swf", L"a.jpg", L"C:\\a.jpg"},
        {L"Z:\\FromMemory\\x\\1\\movie.swf", L"images/pic.jpg", L"Z:\\FromMemory\\x\\1\\images\\pic.jpg"},
        {L"Z:\\FromMemory\\x\\1\\movie.swf", L"http://h/p.jpg", L"http://h/p.jpg"},
        {L"\\\\server\\share\\m.swf", L"../a.jpg", L"\\\\server\\share\\a.jpg"},
        // Paths without a drive.
        {L"movies/m.swf", L"a.jpg", L"movies/a.jpg"},
        {L"m.swf", L"a.jpg", L"a.jpg"},
        {L"/tmp/m.swf", L"../a.jpg", L"/a.jpg"},
        {L"", L"a.jpg", L"a.jpg"},
        {L"C:\\dir\\movie.swf", L"", L"C:\\dir\\movie.swf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToUtf8(ResolveUrl(c.base, c.reference)), ToUtf8(c.expected))
            << ToUtf8(c.base) << " + " << ToUtf8(c.reference);
}

TEST(UrlResolver, OnlyWebAndMailAddressesAreOpenedInWindows) {
    for (const wchar_t* url : {L"http://example.com/", L"HTTPS://example.com/a?b=c", L"mailto:someone@example.com"})
        EXPECT_TRUE(IsOpenableUrl(url)) << ToUtf8(url);
    for (const wchar_t* url : {L"", L"file:///C:/Windows/system32/calc.exe", L"C:\\Windows\\notepad.exe",
                               L"javascript:alert(1)", L"ms-settings:", L"http:///nohost", L"http://",
                               L"http://example.com/\r\nmore", L"mailto:", L"relative/page.html",
                               L"\\\\server\\share\\run.bat"})
        EXPECT_FALSE(IsOpenableUrl(url)) << ToUtf8(url);
    EXPECT_TRUE(IsOpenableUrl(L"http://example.com/" + std::wstring(MaxOpenableUrl - 19, L'a')));
    EXPECT_FALSE(IsOpenableUrl(L"http://example.com/" + std::wstring(MaxOpenableUrl - 18, L'a')));
}
