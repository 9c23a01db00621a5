// The form-file text parser on its own: values of every kind, the tree's file order, its
// round trip through the writer, and hostile text that must end in the parser's own error.
#include <gtest/gtest.h>

#include <string>

#include "framework/FormFileParser.h"

namespace {

std::string ErrorOf(const std::string& text) {
    try {
        ParseFormText(text);
    } catch (const EFormFileError& e) {
        return e.Message;
    }
    return "no error";
}

TEST(FormFileParser, ReadsEveryValueKindInFileOrder) {
    TFormObject root = ParseFormText(
        "object MainForm: TMainForm\r\n"
        "  Left = -12\r\n"
        "  Color = $FF00\r\n"
        "  Caption = 'It''s'#13#10'me' + ' again'\r\n"
        "  Font.Name = Tahoma\r\n"
        "  BorderIcons = [biSystemMenu, biMinimize]\r\n"
        "  object Button1: TButton\r\n"
        "    OnClick = Button1Click\r\n"
        "  end\r\n"
        "  Top = 4294967295\r\n"
        "end\r\n");
    EXPECT_EQ(root.Name, "MainForm");
    EXPECT_EQ(root.ClassName, "TMainForm");
    ASSERT_EQ(root.Entries.size(), 7u);
    EXPECT_EQ(root.Entries[0].Value.Number, -12);
    EXPECT_EQ(root.Entries[1].Value.Number, 0xFF00);
    EXPECT_EQ(root.Entries[2].Value.Kind, TFormValue::TKind::String);
    EXPECT_EQ(root.Entries[2].Value.Text, "It's\r\nme again");
    EXPECT_EQ(root.Entries[3].Property, "Font.Name");
    EXPECT_EQ(root.Entries[3].Value.Kind, TFormValue::TKind::Identifier);
    EXPECT_EQ(root.Entries[4].Value.Elements, (std::vector<std::string>{"biSystemMenu", "biMinimize"}));
    ASSERT_TRUE(root.Entries[5].Object);
    EXPECT_EQ(root.Entries[5].Line, 7);
    EXPECT_EQ(root.Entries[5].Object->Entries[0].Value.Text, "Button1Click");
    EXPECT_EQ(root.Entries[6].Value.Number, 4294967295LL);
}

TEST(FormFileParser, WrittenTreeReadsBackEqual) {
    const char* text =
        "object F: TF\n  A = -4294967295\n  B = ''\n  C = #0#255'x'#127\n  D = []\n"
        "  object G: TG\n    object H: TH\n    end\n  end\n  E = x.y\nend\n";
    TFormObject first = ParseFormText(text);
    std::string written = FormatFormText(first);
    TFormObject second = ParseFormText(written);
    EXPECT_TRUE(first == second) << written;
    EXPECT_EQ(FormatFormText(second), written);
}

TEST(FormFileParser, OutOfRangeNumbersAreTheParsersError) {
    EXPECT_EQ(ErrorOf("object F: TF\n  Caption = #99999999999\nend\n"),
              "Form file line 2: character number out of range");
    EXPECT_EQ(ErrorOf("object F: TF\n  Caption = #256\nend\n"), "Form file line 2: character number out of range");
    EXPECT_EQ(ErrorOf("object F: TF\n  Left = 4294967296\nend\n"), "Form file line 2: number out of range: 4294967296");
    EXPECT_EQ(ErrorOf("object F: TF\n  Left = 99999999999999999999999999999\nend\n"),
              "Form file line 2: number out of range: 99999999999999999999999999999");
    EXPECT_EQ(ErrorOf("object F: TF\n  Left = -$1FFFFFFFF\nend\n"), "Form file line 2: number out of range: 1FFFFFFFF");
    EXPECT_EQ(ErrorOf("object F: TF\n  Left = $\nend\n"), "Form file line 2: number expected");
}

TEST(FormFileParser, DeepNestingIsRefusedNotRecursedInto) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += "object A: TA\n";
    EXPECT_EQ(ErrorOf(text), "Form file line " + std::to_string(MaxFormNesting + 1) + ": objects nested too deeply");
    std::string allowed;
    for (int i = 0; i < MaxFormNesting; ++i) allowed += "object A: TA\n";
    for (int i = 0; i < MaxFormNesting; ++i) allowed += "end\n";
    EXPECT_NO_THROW(ParseFormText(allowed));
}

TEST(FormFileParser, MalformedTextNamesItsLine) {
    EXPECT_EQ(ErrorOf(""), "Form file line 1: identifier expected");
    EXPECT_EQ(ErrorOf("thing F: TF\nend\n"), "Form file line 1: 'object' expected");
    EXPECT_EQ(ErrorOf("object F TF\nend\n"), "Form file line 1: ':' expected");
    EXPECT_EQ(ErrorOf("object F: TF\n  A 1\nend\n"), "Form file line 2: '=' expected");
    EXPECT_EQ(ErrorOf("object F: TF\n  A = ]\nend\n"), "Form file line 2: value expected");
    EXPECT_EQ(ErrorOf("object F: TF\n  A = [x y]\nend\n"), "Form file line 2: ',' or ']' expected");
    EXPECT_EQ(ErrorOf("object F: TF\n  A = 'x' +\nend\n"), "Form file line 2: string expected after '+'");
    EXPECT_EQ(ErrorOf("object F: TF\nend\nmore"), "Form file line 3: text after the end of the root object");
    EXPECT_EQ(ErrorOf("object F: TF\n  A = 1\n"), "Form file line 3: property name, 'object' or 'end' expected");
    EXPECT_EQ(ErrorOf(std::string("object F: TF\n  A = 'x\0y\nend\n", 24)), "Form file line 2: unterminated string");
}

}  // namespace
