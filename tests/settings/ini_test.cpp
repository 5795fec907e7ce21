#include <gtest/gtest.h>

#include "platform/text.hpp"
#include "settings/ini.hpp"

namespace tarrow {
namespace {

IniLine Key(std::u16string name, std::u16string value) { return {false, std::move(name), std::move(value)}; }
IniLine Comment(std::u16string text) { return {true, std::move(text), {}}; }

TEST(IniReader, SplitsOnAnyRunOfLineEndsAndSkipsLeadingBlanks) {
    const IniDocument doc =
        ParseIni(u"lead = 1\r\n\r\n\n\r[one]\rk1=v1\n\t  \t\n  \t k2 \t =  \t v2 = x \t \r\n[two]");
    ASSERT_EQ(doc.groups.size(), 3u);
    EXPECT_EQ(doc.groups[0], (IniGroup{false, u"", {Key(u"lead", u"1")}}));
    EXPECT_EQ(doc.groups[1], (IniGroup{true, u"one", {Key(u"k1", u"v1"), Key(u"k2", u"v2 = x")}}));
    EXPECT_EQ(doc.groups[2], (IniGroup{true, u"two", {}}));
}

TEST(IniReader, CommentsGroupsAndKeysWithoutEquals) {
    const IniDocument doc = ParseIni(
        u";  two spaces kept less one\n;tight\n; \n[name] trailing ignored\n[open\n"
        u"bare key \t\n=only value\n[]\nKey=\nx==y");
    ASSERT_EQ(doc.groups.size(), 4u);
    EXPECT_EQ(doc.groups[0].lines,
              (std::vector<IniLine>{Comment(u" two spaces kept less one"), Comment(u"tight"),
                                    Comment(u"")}));
    EXPECT_EQ(doc.groups[1], (IniGroup{true, u"name", {}}));
    EXPECT_EQ(doc.groups[2],
              (IniGroup{true, u"open", {Key(u"bare key", u""), Key(u"", u"only value")}}));
    EXPECT_EQ(doc.groups[3], (IniGroup{true, u"", {Key(u"Key", u""), Key(u"x", u"=y")}}));
}

TEST(IniReader, EmptyTextHasOnlyTheEmptyLeadingGroup) {
    EXPECT_EQ(ParseIni(u""), IniDocument{});
    EXPECT_EQ(ParseIni(u"\r\n \t \r\n"), IniDocument{});
}

TEST(IniWriter, WritesBomThenCrLfThenEveryLineInOrder) {
    IniDocument doc;
    doc.groups[0].lines = {Comment(u"top"), Key(u"loose", u"1")};
    doc.groups.push_back({true, u"Général", {Key(u"a", u"b = c"), Comment(u""), Key(u"e", u"")}});
    doc.groups.push_back({true, u"empty", {}});
    EXPECT_EQ(WriteIni(doc),
              "\xEF\xBB\xBF\r\n; top\r\nloose = 1\r\n[G\xC3\xA9n\xC3\xA9ral]\r\na = b = c\r\n; \r\n"
              "e = \r\n[empty]\r\n");
    EXPECT_EQ(WriteIni(IniDocument{}), "\xEF\xBB\xBF\r\n");
}

TEST(IniWriter, WhatIsWrittenReadsBackTheSame) {
    const IniDocument doc = ParseIni(
        u"; c1\n;  c2 \nk = v\n[g]\n x = = \n;\n[G]\n\t[h]x\nempty\n = lone\n[]\nk=v");
    const std::string bytes = WriteIni(doc);
    ASSERT_EQ(bytes.substr(0, 3), kUtf8Bom);
    EXPECT_EQ(ParseIni(Utf8ToUtf16(bytes.substr(3))), doc);
}

TEST(IniEncodings, MarksFirstThenValidUtf8ElseAnsi) {
    const struct {
        std::string bytes;
        IniEncoding encoding;
        std::u16string text;
    } cases[] = {
        {"\xEF\xBB\xBF[a]", IniEncoding::Utf8Bom, u"[a]"},
        {std::string("\xFF\xFE[\0\xE9\0", 6), IniEncoding::Utf16Le, u"[\u00E9"},
        {std::string("\xFE\xFF\0[\x20\xAC", 6), IniEncoding::Utf16Be, u"[\u20AC"},
        {std::string("\xFF\xFE=\0\x01", 5), IniEncoding::Utf16Le, u"="},  // a last odd byte
        {"; caf\xC3\xA9", IniEncoding::Utf8, u"; caf\u00E9"},
        {"plain", IniEncoding::Utf8, u"plain"},
        {"", IniEncoding::Utf8, u""},
        {"; caf\xE9", IniEncoding::Ansi, u""},
        {"\xC0\xAF", IniEncoding::Ansi, u""},      // overlong
        {"\xED\xA0\x80", IniEncoding::Ansi, u""},  // an encoded surrogate
    };
    for (const auto& c : cases) {
        const IniText read = DecodeIniBytes(c.bytes);
        EXPECT_EQ(read.encoding, c.encoding) << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(read.text, c.text) << ::testing::PrintToString(c.bytes);
        if (c.encoding == IniEncoding::Ansi) continue;
        const bool utf16 = c.encoding == IniEncoding::Utf16Le || c.encoding == IniEncoding::Utf16Be;
        const std::string kept = utf16 ? c.bytes.substr(0, c.bytes.size() & ~size_t{1}) : c.bytes;
        EXPECT_EQ(EncodeIniText(read.text, c.encoding), kept) << ::testing::PrintToString(c.bytes);
    }
}

TEST(IniGroups, LookupIgnoresCaseAndTakesTheFirstNamedGroup) {
    IniDocument doc = ParseIni(u"a=0\n[MONITORS]\na=1\n[monitors]\na=2\n[Ωmega]\n");
    ASSERT_NE(FindIniGroup(doc, u"monitors"), nullptr);
    EXPECT_EQ(FindIniGroup(doc, u"monitors")->lines[0].value, u"1");
    EXPECT_NE(FindIniGroup(doc, u"ωMEGA"), nullptr);
    EXPECT_EQ(FindIniGroup(doc, u"general"), nullptr);
    EXPECT_EQ(FindIniGroup(doc, u""), nullptr);  // the leading group has no name to find
}

TEST(IniInteger, SignsBasesAndStrangers) {
    EXPECT_EQ(ParseIniInteger(u"5000ms"), 5000);
    EXPECT_EQ(ParseIniInteger(u"abc"), 0);
    EXPECT_EQ(ParseIniInteger(u"$BB8"), 3000);
    EXPECT_EQ(ParseIniInteger(u"$1f4"), 500);
    EXPECT_EQ(ParseIniInteger(u"%1010"), 10);
    EXPECT_EQ(ParseIniInteger(u"%1012"), 5);
    EXPECT_EQ(ParseIniInteger(u"-5"), -5);
    EXPECT_EQ(ParseIniInteger(u"+7"), 7);
    EXPECT_EQ(ParseIniInteger(u""), 0);
    EXPECT_EQ(ParseIniInteger(u" \t 42 "), 42);
    EXPECT_EQ(ParseIniInteger(u"-$10"), -16);
    EXPECT_EQ(ParseIniInteger(u"$"), 0);
    EXPECT_EQ(ParseIniInteger(u"$G"), 0);
    EXPECT_EQ(ParseIniInteger(u"+-5"), 0);
    EXPECT_EQ(ParseIniInteger(u"- 5"), 0);
    EXPECT_EQ(ParseIniInteger(u"0010"), 10);
    EXPECT_EQ(ParseIniInteger(u"1 000"), 1);
    EXPECT_EQ(ParseIniInteger(u"１２"), 0);  // fullwidth digits are strangers
}

TEST(IniInteger, OverflowWrapsModulo64Bits) {
    EXPECT_EQ(ParseIniInteger(u"9223372036854775807"), INT64_MAX);
    EXPECT_EQ(ParseIniInteger(u"-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseIniInteger(u"9223372036854775808"), INT64_MIN);
    EXPECT_EQ(ParseIniInteger(u"18446744073709551617"), 1);
    EXPECT_EQ(ParseIniInteger(u"$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(ParseIniInteger(u"$10000000000000005"), 5);
    EXPECT_EQ(ParseIniInteger(u"-%1" + std::u16string(70, u'0')), 0);
}

}  // namespace
}  // namespace tarrow
