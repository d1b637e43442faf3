// The writers' helpers: FormatData, SQL literals, UTF-8 repair, field types, HTML cells and font sizes, text widths.
#include "writers/formatting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.h"
#include "writers/html_writer.h"
#include "writers/sheet_model.h"

namespace varnelo {
namespace {

using ::testing::HasSubstr;
using testing_support::errorOf;

// Types: 200, 129 character; 201 long text; 3 integer; 5 double; 7, 135 date. 'I': text that is no number is
// quoted, never run as SQL; a fraction or a zone does not fit the date mask, so the ISO text keeps them.
TEST(FormatData, ShapesByLetterAndTypeGroup) {
    const std::string toDate = "TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')";
    const struct { const char* text; int32_t type; const char* format; std::string expected; } cases[] = {
        {"say \"hi\"", 200, "A", "\"say \"\"hi\"\"\""}, {"abc", 201, "A", "abc"}, {"O'Brien", 129, "I", "'O''Brien'"},
        {"", 200, "I", "''"}, {"", 3, "I", "NULL"}, {"-1.5e3", 131, "I", "-1.5e3"}, {"Infinity", 5, "I", "'Infinity'"},
        {"0); DELETE FROM v; --", 3, "I", "'0); DELETE FROM v; --'"}, {"yesterday", 7, "I", "'yesterday'"},
        {"2003-12-25T13:05:07", 135, "I", toDate}, {"25/12/2003 13:05:07", 7, "I", toDate},
        {"2024-03-05 14:30:00.1Z", 135, "I", "'2024-03-05 14:30:00.1Z'"}, {"0099-02-03", 7, "S", "03/02/0099 00:00:00"},
        {"2024-03-05 14:30:00.5Z", 7, "S", "05/03/2024 14:30:00.5 +00:00"}, {"no date", 7, "S", "no date"},
        {"no date", 7, "E", "no date"}, {"abc", 200, "a", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatData(c.text, c.type, c.format, ""), c.expected) << c.text << " / " << c.type << c.format;
    Error e = errorOf([] { (void)FormatData(std::string_view("a\0b", 3), 200, "I", ""); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
    // A loader file's field types: long character types are not in the character group.
    EXPECT_EQ(GetFieldTypeText(202) + "|" + GetFieldTypeText(201), "CHAR|INTEGER EXTERNAL");
}

// The literal follows the value, not the column's type; the common kinds are in the INSERT writer's whole files.
TEST(SqlLiteral, FollowsTheValueNotTheDeclaredType) {
    using G = TypeGroup;
    using L = SqlLiteral;
    const struct { Variant value; G group; const char* expected; L result; } cases[] = {
        {Variant(int64_t{42}), G::Character, "'42'", L::Written}, {Variant(1.5), G::Character, "'1.5'", L::Written},
        {Variant(-1.0 / 0.0), G::Other, "'-Infinity'", L::Written}, {Variant(NAN), G::Other, "'NaN'", L::Written},
        {Variant(Bytes{"\x01\xAB"}), G::Character, "X'01AB'", L::Written},
        {Variant(DateTime{2003, 12, 25, 13, 5, 7}), G::Character, "'2003-12-25 13:05:07'", L::Written},
        {Variant("a\xFF'b"), G::Character, "'a\xEF\xBF\xBD''b'", L::Repaired},
        {Variant(std::string("a\0b", 3)), G::Character, "", L::HasNul},
    };
    for (const auto& c : cases) {
        FieldValue v;
        viewVariant(c.value, v);
        std::string out;
        EXPECT_EQ(appendSqlLiteral(out, v, c.group), c.result) << c.expected;
        EXPECT_EQ(out, c.expected);
    }
}

// Valid text passes; every ill-formed sequence (stray, overlong, surrogate, cut short, past U+10FFFF) is replaced.
TEST(Utf8, IllFormedSequencesAreReplaced) {
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", ""}, {"a\xFF" "b", "a" + r + "b"},
        {"\xC0\xAF", r + r}, {"\xED\xA0\x80", r + r + r}, {"\xE4\xB8", r + r}, {"\xF4\x90\x80\x80", r + r + r + r}};
    for (const auto& [in, repaired] : cases) {
        std::string out;
        EXPECT_EQ(isValidUtf8(in), repaired.empty()) << in;
        EXPECT_EQ(appendRepairedUtf8(out, in, false), !repaired.empty()) << in;
        EXPECT_EQ(out, repaired.empty() ? in : repaired);
    }
    std::string out;
    EXPECT_TRUE(appendHtmlText(out, std::string_view("<a\0>", 4)));
    EXPECT_EQ(out, "&lt;a" + r + "&gt;");
}

// The ends of the bands (the 10-point size is in every HTML file); what no short holds overflows.
TEST(GetHtmlFontSize, BandsAndOverflow) {
    EXPECT_EQ(GetHtmlFontSize(-32768) + GetHtmlFontSize(8) + GetHtmlFontSize(24) + GetHtmlFontSize(25), "1167");
    EXPECT_EQ(wholePointSize(32767.4), 32767);
    for (double bad : {32767.5, -1e9, std::nan("")})
        EXPECT_EQ(errorOf([&] { wholePointSize(bad); }).number(), err::kOverflow) << bad;
}

// Never nowrap on a header cell, and only NoWrap 1 means yes; markup in the face name stays text; colours go red
// first, the high byte dropped.
TEST(PrepareHtml, NoWrapEscapingAndColours) {
    const Font f = *makeFont("Evil\" x=\"<&>", 10);
    const std::string font = " <font face=\"Evil&quot; x=&quot;&lt;&amp;&gt;\" color=\"#0C0B0A\" size=\"2\">";
    for (const auto& [type, noWrap, open] : {std::tuple{"th", 1, "<th "}, {"td", 1, "<td nowrap "}, {"td", 2, "<td "}})
        EXPECT_EQ(PrepareHtml("<a&b>", type, "M", 0xFF123456u, 0x0A0B0C, f, noWrap),
                  open + std::string("align=\"left\" bgcolor=\"#563412\"") + font + font + "&lt;a&amp;b&gt;</font></" +
                      type + ">\r\n");
    EXPECT_EQ(LNGtoHEX(0x123456, false), "563412");
}

// Pixels at 11 points: digits 7, CJK and emoji 14, combining 0; the widest line; broken UTF-8 never read past its end.
TEST(TextPixelWidth, MeasuresTheWidestLine) {
    const std::pair<const char*, double> cases[] = {{"0123456789", 70}, {"12\n12345\r\n1", 35}, {"\xE4\xB8\xAD", 14},
        {"\xF0\x9F\x98\x80", 14}, {"e\xCC\x81", 7}, {"\xE4\xB8", 14}, {"\x80", 7}};
    for (auto [text, px] : cases) EXPECT_DOUBLE_EQ(textPixelWidth(text, 11, false), px) << text;
    EXPECT_DOUBLE_EQ(columnWidthForText(1e6), 255.0);
}

}  // namespace
}  // namespace varnelo
