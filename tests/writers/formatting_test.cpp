// Value formatting: FormatData, GetFieldTypeText and CovStr.
#include "writers/formatting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "support/test_support.h"

namespace varnelo {
namespace {

using ::testing::HasSubstr;
using testing_support::errorOf;

// Types: 12, 129, 200, 202 character; 201 long text; 3 integer; 7, 135 date.
TEST(FormatData, ShapesByLetterAndTypeGroup) {
    const std::string toDate = "TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')";
    const struct { const char* text; int32_t type; const char* format; const char* expected; } cases[] = {
        {"abc", 200, "A", "\"abc\""}, {"abc", 12, "A", "\"abc\""}, {"abc", 202, "A", "\"abc\""},
        {"abc", 3, "A", "abc"}, {"abc", 201, "A", "abc"}, {"2003-12-25", 7, "A", "2003-12-25"},
        {"", 129, "A", "\"\""}, {"say \"hi\"", 200, "A", "\"say \"\"hi\"\"\""},
        {"O'Brien", 129, "I", "'O''Brien'"}, {"", 200, "I", "''"}, {"", 3, "I", "NULL"},
        {"42", 3, "I", "42"}, {"-1.5e3", 131, "I", "-1.5e3"}, {"", 7, "I", "''"}, {"", 135, "I", "''"},
        // Text that is no number is quoted, never run as SQL.
        {"0); DELETE FROM victim; --", 3, "I", "'0); DELETE FROM victim; --'"}, {"Infinity", 5, "I", "'Infinity'"},
        {"2003-12-25 13:05:07", 7, "I", toDate.c_str()}, {"2003-12-25T13:05:07", 135, "I", toDate.c_str()},
        {"25/12/2003 13:05:07", 7, "I", toDate.c_str()}, {"yesterday", 7, "I", "'yesterday'"},
        // A fraction or a zone does not fit the mask: the ISO text keeps them.
        {"2024-03-05T14:30:00.123+05:30", 135, "I", "'2024-03-05 14:30:00.123+05:30'"},
        {"2003-01-05 09:03:04", 135, "S", "05/01/2003 09:03:04"}, {"0099-02-03", 7, "S", "03/02/0099 00:00:00"},
        {"2024-03-05 14:30:00.5Z", 7, "S", "05/03/2024 14:30:00.5 +00:00"}, {"", 7, "S", ""}, {"7", 3, "S", "7"},
        {"O'Brien \"x\"", 200, "S", "O'Brien \"x\""}, {"not a date", 7, "S", "not a date"},
        {"not a date", 7, "E", "not a date"}, {"abc", 200, "E", "abc"},
        {"abc", 200, "a", ""}, {"abc", 3, "X", ""}, {"abc", 200, "", ""}, {"abc", 200, "AA", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + std::to_string(c.type) + " / " + c.format);
        EXPECT_EQ(FormatData(c.text, c.type, c.format, ""), c.expected);
    }
    Error e = errorOf([] { (void)FormatData(std::string_view("a\0b", 3), 200, "I", ""); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
}

FieldValue valueOf(const Variant& v) {
    FieldValue f;
    viewVariant(v, f);
    return f;
}

// The literal follows the value, whatever the column declares.
TEST(SqlLiteral, FollowsTheValueNotTheDeclaredType) {
    using G = TypeGroup;
    const struct { Variant value; G group; const char* expected; } cases[] = {
        {Variant("0); DELETE FROM victim; --"), G::Other, "'0); DELETE FROM victim; --'"},
        {Variant(""), G::Other, "''"}, {Variant::null(), G::Character, "NULL"},
        {Variant(int64_t{42}), G::Other, "42"}, {Variant(int64_t{42}), G::Character, "'42'"},
        {Variant(true), G::Other, "True"}, {Variant(1.5), G::Character, "'1.5'"},
        {Variant(1.0 / 0.0), G::Other, "'Infinity'"}, {Variant(-1.0 / 0.0), G::Other, "'-Infinity'"},
        {Variant(std::nan("")), G::Other, "'NaN'"},
        {Variant(Bytes{"\x01\xAB"}), G::Other, "X'01AB'"}, {Variant(Bytes{}), G::Character, "X''"},
        {Variant(DateTime{2003, 12, 25, 13, 5, 7}), G::Date, "TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')"},
        {Variant(DateTime{2003, 12, 25, 13, 5, 7}), G::Character, "'2003-12-25 13:05:07'"},
        {Variant("2003-12-25"), G::Date, "TO_DATE('25/12/2003 00:00:00','dd/mm/yyyy hh24:mi:ss')"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_EQ(appendSqlLiteral(out, valueOf(c.value), c.group), SqlLiteral::Written) << c.expected;
        EXPECT_EQ(out, c.expected);
    }
    std::string out;
    EXPECT_EQ(appendSqlLiteral(out, valueOf(Variant("a\xFF'b")), G::Character), SqlLiteral::Repaired);
    EXPECT_EQ(out, "'a\xEF\xBF\xBD''b'");
    EXPECT_EQ(appendSqlLiteral(out, valueOf(Variant(std::string("a\0b", 3))), G::Character), SqlLiteral::HasNul);
}

TEST(SqlName, PlainIdentifiersStandBareOthersInDoubleQuotes) {
    for (const char* plain : {"id", "Order_ID", "a$b#c", "_x1"}) {
        std::string out;
        appendSqlName(out, plain);
        EXPECT_EQ(out, plain);
    }
    const struct { const char* name; const char* expected; } quoted[] = {
        {"order id", "\"order id\""}, {"1st", "\"1st\""}, {"a\"b", "\"a\"\"b\""}, {"x);DROP", "\"x);DROP\""},
        {"", "\"\""}, {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
    };
    for (const auto& c : quoted) {
        std::string out;
        appendSqlName(out, c.name);
        EXPECT_EQ(out, c.expected);
    }
}

TEST(Utf8, ValidTextPassesAndEveryIllFormedSequenceBecomesOneReplacement) {
    for (const char* ok : {"", "plain", "caf\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_TRUE(isValidUtf8(ok)) << ok;
    const struct { const char* in; const char* out; } bad[] = {
        {"a\xFF" "b", "a\xEF\xBF\xBD" "b"},                        // not a lead byte
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},               // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
        {"\xE4\xB8", "\xEF\xBF\xBD\xEF\xBF\xBD"},               // cut short
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // past U+10FFFF
    };
    for (const auto& c : bad) {
        EXPECT_FALSE(isValidUtf8(c.in)) << c.in;
        std::string out;
        EXPECT_TRUE(appendRepairedUtf8(out, c.in, false));
        EXPECT_EQ(out, c.out);
    }
    std::string out;
    EXPECT_TRUE(appendHtmlText(out, std::string_view("<a\0>", 4)));
    EXPECT_EQ(out, "&lt;a\xEF\xBF\xBD&gt;");
}

TEST(GetFieldTypeText, ByTypeGroup) {
    for (int32_t t : {7, 135}) EXPECT_EQ(GetFieldTypeText(t), "DATE\t\"dd/mm/yyyy hh24:mi:ss\"") << t;
    EXPECT_EQ(loaderDateType(false, false), GetFieldTypeText(7));
    for (int32_t t : {12, 129, 200, 202}) EXPECT_EQ(GetFieldTypeText(t), "CHAR") << t;
    // Long character types are not in the character group.
    for (int32_t t : {201, 203, 3, 131}) EXPECT_EQ(GetFieldTypeText(t), "INTEGER EXTERNAL") << t;
}

TEST(CovStr, BoolTagNumbersAndTypeMismatch) {
    const struct { Variant value; const char* tag; const char* expected; } cases[] = {
        {Variant(true), "Bool", "1"}, {Variant(false), "Bool", "0"}, {Variant(int32_t{1}), "Bool", ""},
        {Variant("True"), "Bool", ""}, {Variant(true), "bool", "-1"},  // the tag is exact
        {Variant(int32_t{7}), "", " 7"}, {Variant(int32_t{-7}), "", "-7"}, {Variant(8.25), "", " 8.25"},
        {Variant(-0.0), "", " 0"}, {Variant(int64_t{0x80000005}), "", " 2147483653"},
        // Text holding a number converts like the number, every digit kept.
        {Variant(" 8.25 "), "", " 8.25"}, {Variant("9007199254740993"), "", " 9007199254740993"},
        {Variant("-3"), "", "-3"},
    };
    for (const auto& c : cases) EXPECT_EQ(CovStr(c.value, c.tag), c.expected) << c.value.toText() << c.tag;

    for (const Variant& v : {Variant("abc"), Variant(""), Variant::null(), Variant(DateTime{})}) {
        Error e = errorOf([&] { (void)CovStr(v, ""); });
        EXPECT_EQ(e.number(), err::kTypeMismatch) << v.toText();
        EXPECT_THAT(e.description(), HasSubstr("mFunctions.CovStr"));
    }
}

}  // namespace
}  // namespace varnelo
