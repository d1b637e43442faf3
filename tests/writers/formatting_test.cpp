// The writers' helpers: FormatData, SQL literals, UTF-8 repair,
// GetFieldTypeText, CovStr, the HTML cell and font size, and the sheet's date
// serials and text measurement.
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

// Types: 200, 129 character; 201 long text; 3 integer; 5 double; 7, 135 date.
// 'I': text that is no number is quoted, never run as SQL; a fraction or a
// zone does not fit the date mask, so the ISO text keeps them. The field
// types of a loader file: long character types are not in the character group.
TEST(FormatData, ShapesByLetterAndTypeGroupAndFieldTypeText) {
    const std::string toDate = "TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')";
    const struct { const char* text; int32_t type; const char* format; std::string expected; } cases[] = {
        {"say \"hi\"", 200, "A", "\"say \"\"hi\"\"\""}, {"abc", 201, "A", "abc"}, {"O'Brien", 129, "I", "'O''Brien'"},
        {"", 200, "I", "''"}, {"", 3, "I", "NULL"}, {"-1.5e3", 131, "I", "-1.5e3"}, {"Infinity", 5, "I", "'Infinity'"},
        {"0); DELETE FROM v; --", 3, "I", "'0); DELETE FROM v; --'"}, {"yesterday", 7, "I", "'yesterday'"},
        {"2003-12-25T13:05:07", 135, "I", toDate}, {"25/12/2003 13:05:07", 7, "I", toDate},
        {"2024-03-05 14:30:00.1Z", 135, "I", "'2024-03-05 14:30:00.1Z'"}, {"0099-02-03", 7, "S", "03/02/0099 00:00:00"},
        {"2024-03-05 14:30:00.5Z", 7, "S", "05/03/2024 14:30:00.5 +00:00"}, {"no date", 7, "S", "no date"},
        {"no date", 7, "E", "no date"}, {"abc", 200, "a", ""}, {"abc", 200, "AA", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatData(c.text, c.type, c.format, ""), c.expected) << c.text << " / " << c.type << c.format;
    Error e = errorOf([] { (void)FormatData(std::string_view("a\0b", 3), 200, "I", ""); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
    EXPECT_EQ(GetFieldTypeText(135) + GetFieldTypeText(202) + GetFieldTypeText(201),
              "DATE\t\"dd/mm/yyyy hh24:mi:ss\"CHARINTEGER EXTERNAL");
}

// The literal follows the value, whatever the column declares; the common
// kinds are pinned by the INSERT writer's whole files.
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

// Valid text passes as it is; every ill-formed sequence (a stray byte, an
// overlong, a surrogate, a cut-short one, one past U+10FFFF) is replaced.
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

// A space stands for the plus sign; text holding a whole number keeps every digit.
TEST(CovStr, BoolTagNumbersAndTypeMismatch) {
    const struct { Variant value; const char* tag; const char* expected; } cases[] = {
        {Variant(true), "Bool", "1"}, {Variant(int32_t{1}), "Bool", ""}, {Variant(true), "bool", "-1"},
        {Variant(false), "", " 0"}, {Variant(int32_t{-7}), "", "-7"}, {Variant(-0.0), "", " 0"},
        {Variant(" 8.25 "), "", " 8.25"}, {Variant("9007199254740993"), "", " 9007199254740993"},
    };
    for (const auto& c : cases) EXPECT_EQ(CovStr(c.value, c.tag), c.expected) << c.value.toText() << c.tag;
    for (const Variant& v : {Variant::null(), Variant(DateTime{})})
        EXPECT_EQ(errorOf([&] { (void)CovStr(v, ""); }).number(), err::kTypeMismatch) << v.toText();
    EXPECT_THAT(errorOf([] { (void)CovStr(Variant("abc"), ""); }).description(), HasSubstr("mFunctions.CovStr"));
}

// Every band's edges; what no short holds overflows.
TEST(GetHtmlFontSize, BandsAndOverflow) {
    const std::pair<int16_t, std::string> cases[] = {{-32768, "1"}, {8, "1"},  {9, "2"},  {10, "2"}, {11, "3"},
                                                     {12, "3"},     {13, "4"}, {14, "4"}, {15, "5"}, {18, "5"},
                                                     {19, "6"},     {24, "6"}, {25, "7"}, {32767, "7"}};
    for (const auto& [points, size] : cases) EXPECT_EQ(GetHtmlFontSize(points), size) << points << " points";
    EXPECT_EQ(wholePointSize(32767.4), 32767);
    for (double bad : {32767.5, -1e9, std::nan("")})
        EXPECT_EQ(errorOf([&] { wholePointSize(bad); }).number(), err::kOverflow) << bad;
}

// Never nowrap on a header cell, and only NoWrap 1 means yes; markup in the
// face name stays text; colours go red first, the high byte dropped.
TEST(PrepareHtml, NoWrapEscapingAndColours) {
    const Font f = *makeFont("Evil\" x=\"<&>", 10);
    const std::string font = " <font face=\"Evil&quot; x=&quot;&lt;&amp;&gt;\" color=\"#0C0B0A\" size=\"2\">";
    for (const auto& [type, noWrap, open] : {std::tuple{"th", 1, "<th "}, {"td", 1, "<td nowrap "}, {"td", 2, "<td "}})
        EXPECT_EQ(PrepareHtml("<a&b>", type, "M", 0xFF123456u, 0x0A0B0C, f, noWrap),
                  open + std::string("align=\"left\" bgcolor=\"#563412\"") + font + font + "&lt;a&amp;b&gt;</font></" +
                      type + ">\r\n");
    EXPECT_EQ(LNGtoHEX(0x123456, false), "563412");
}

// Days from 1900-01-01 as day 1, with the 1900-02-29 a sheet counts though it never was.
TEST(ExcelSerial, CountsFrom1900WithItsPhantomLeapDay) {
    EXPECT_DOUBLE_EQ(excelSerial(1900, 1, 1, 0, 0, 0, 0), 1.0);
    EXPECT_DOUBLE_EQ(excelSerial(1900, 3, 1, 0, 0, 0, 0), 61.0);
    EXPECT_NEAR(excelSerial(2024, 3, 5, 12, 0, 0, 123'000'000) - 45356.5, 0.123 / 86400, 1e-11);
}

// Pixels at 11 points: digits 7, CJK and emoji 14, a combining accent 0; the
// widest line counts; broken UTF-8 is never read past its end. Scaling with
// the font and the widths that follow are read back from workbooks.
TEST(TextPixelWidth, MeasuresTheWidestLine) {
    const std::pair<const char*, double> cases[] = {
        {"0123456789", 70}, {"", 0}, {"12\n12345\n1", 35}, {"12345\r\n12", 35}, {"\xE4\xB8\xAD\xE6\x96\x87", 28},
        {"\xF0\x9F\x98\x80", 14}, {"e\xCC\x81", 7}, {"\xE4\xB8", 14}, {"\x80", 7}};
    for (auto [text, px] : cases) EXPECT_DOUBLE_EQ(textPixelWidth(text, 11, false), px) << text;
    EXPECT_DOUBLE_EQ(columnWidthForText(1e6), 255.0);
}

}  // namespace
}  // namespace varnelo
