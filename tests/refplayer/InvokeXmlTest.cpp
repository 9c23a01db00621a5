#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "refplayer/core/FormatError.h"
#include "refplayer/core/InvokeXml.h"
#include "refplayer/core/TextCodec.h"

using namespace refplayer;
using Kind = InvokeValue::Kind;

namespace {

std::string ParseError(const std::wstring& xml) {
    try {
        ParseInvoke(xml);
    } catch (const FormatError& error) {
        return error.what();
    }
    return "no error";
}

} // namespace

TEST(InvokeXml, ParsesEveryValueKind) {
    InvokeRequest request = ParseInvoke(
        L"<invoke name=\"echo\" returntype=\"xml\"><arguments><string>hi</string><number>3</number>"
        L"<true/><false/><null/><undefined/>"
        L"<array><property id=\"0\"><number>-2.5e3</number></property><property id=\"1\"><string/></property></array>"
        L"<object><property id=\"k\"><object><property id=\"deep\"><true/></property></object></property></object>"
        L"</arguments></invoke>");
    EXPECT_EQ(request.name, L"echo");
    EXPECT_EQ(request.returnType, L"xml");
    ASSERT_EQ(request.arguments.size(), 8u);
    const auto& args = request.arguments;
    EXPECT_EQ(args[0], InvokeValue::String(L"hi"));
    EXPECT_EQ(args[1], InvokeValue::Number(3));
    EXPECT_EQ(args[2].kind, Kind::True);
    EXPECT_EQ(args[3].kind, Kind::False);
    EXPECT_EQ(args[4].kind, Kind::Null);
    EXPECT_EQ(args[5].kind, Kind::Undefined);
    ASSERT_EQ(args[6].kind, Kind::Array);
    ASSERT_EQ(args[6].properties.size(), 2u);
    EXPECT_EQ(args[6].properties[0].value.number, -2500);
    EXPECT_EQ(args[6].properties[1].value, InvokeValue::String(L""));
    ASSERT_EQ(args[7].kind, Kind::Object);
    EXPECT_EQ(args[7].properties[0].id, L"k");
    EXPECT_EQ(args[7].properties[0].value.properties[0].id, L"deep");
}

TEST(InvokeXml, DecodesReferencesAndToleratesLayout) {
    InvokeRequest request = ParseInvoke(
        L"  <invoke name='a&amp;b' returntype=\"xml\" >\n <arguments>\n"
        L"  <string>&lt;tag&gt; &quot;q&quot; &apos;s&apos; &#233;&#x1F600;</string>\n"
        L"  <number> 0.25 </number><true></true>\n </arguments>\n</invoke>\n");
    EXPECT_EQ(request.name, L"a&b");
    ASSERT_EQ(request.arguments.size(), 3u);
    EXPECT_EQ(request.arguments[0].text, L"<tag> \"q\" 's' \u00e9\U0001F600");
    EXPECT_EQ(request.arguments[1].number, 0.25);
    EXPECT_EQ(request.arguments[2].kind, Kind::True);

    EXPECT_TRUE(ParseInvoke(L"<invoke name=\"f\"/>").arguments.empty());
    EXPECT_TRUE(ParseInvoke(L"<invoke name=\"f\"><arguments/></invoke>").arguments.empty());
}

TEST(InvokeXml, SerializesValuesInTheSameFormat) {
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::String(L"hi")), L"<string>hi</string>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::String(L"a<b>&\"'")), L"<string>a&lt;b&gt;&amp;&quot;&apos;</string>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Number(3)), L"<number>3</number>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Number(0.1)), L"<number>0.1</number>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Number(-1e21)), L"<number>-1e+21</number>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Number(NAN)), L"<number>NaN</number>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Number(-INFINITY)), L"<number>-Infinity</number>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Boolean(false)), L"<false/>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue::Null()), L"<null/>");
    EXPECT_EQ(SerializeInvokeValue(InvokeValue()), L"<undefined/>");
    EXPECT_TRUE(std::isinf(ParseInvokeValue(L"<number>Infinity</number>").number));
}

TEST(InvokeXml, RoundTrips) {
    const std::wstring xml =
        L"<invoke name=\"callBack\" returntype=\"xml\"><arguments><string>x &amp; \u00e9\U0001F600</string>"
        L"<array><property id=\"0\"><number>1.5</number></property><property id=\"1\"><null/></property></array>"
        L"<object><property id=\"a&lt;\"><undefined/></property></object><false/></arguments></invoke>";
    InvokeRequest request = ParseInvoke(xml);
    EXPECT_EQ(SerializeInvoke(request), xml);

    InvokeValue value = request.arguments[1];
    EXPECT_EQ(ParseInvokeValue(SerializeInvokeValue(value)), value);
    EXPECT_NE(ParseInvokeValue(L"<number>1</number>"), InvokeValue::String(L"1"));
}

TEST(InvokeXml, MalformedInputIsRejected) {
    const wchar_t* bad[] = {
        L"",
        L"<call name=\"f\"/>",
        L"<invoke returntype=\"xml\"/>",
        L"<invoke name=\"f\"><arguments><string>x</arguments></invoke>",
        L"<invoke name=\"f\"><arguments><string>x</string></invoke>",
        L"<invoke name=\"f\"><arguments><date>1</date></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><number>12abc</number></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><number></number></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><string>&nbsp;</string></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><string>&#xD800;</string></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><string>a & b</string></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><array><item><null/></item></array></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><object><property><null/></property></object></arguments></invoke>",
        L"<invoke name=\"f\"><arguments><object><property id=\"a\"/></object></arguments></invoke>",
        L"<invoke name=f/>",
        L"<invoke name=\"f/>",
        L"<invoke name=\"f\"/><invoke name=\"g\"/>",
        L"<invoke name=\"f\"><arguments>",
    };
    for (const wchar_t* xml : bad) EXPECT_NE(ParseError(xml), "no error") << ToUtf8(xml);

    EXPECT_EQ(ParseError(L"<invoke name=\"f\"><arguments><string>x</string></invoke>"),
              "invoke XML: closing tag does not match <arguments> at offset 46");

    // Every cut-off prefix of a valid request is an error.
    const std::wstring valid =
        L"<invoke name=\"f\"><arguments><string>a&amp;b</string><object><property id=\"k\"><number>1</number>"
        L"</property></object></arguments></invoke>";
    for (size_t length = 0; length < valid.size(); length++)
        EXPECT_NE(ParseError(valid.substr(0, length)), "no error") << length;

    // Deep nesting ends in an error, not in a stack overflow.
    std::wstring deep = L"<invoke name=\"f\"><arguments>";
    for (int i = 0; i < 10000; i++) deep += L"<array><property id=\"0\">";
    EXPECT_NE(ParseError(deep), "no error");
}
