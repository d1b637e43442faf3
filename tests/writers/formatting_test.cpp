// Value formatting: FormatData, GetFieldTypeText and CovStr.
#include "writers/formatting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "varnelo/error.h"

namespace varnelo {
namespace {

using ::testing::HasSubstr;

struct FormatCase {
    const char* text;
    int32_t type;
    const char* format;
    const char* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << "FormatData(\"" << c.text << "\", " << c.type << ", \"" << c.format << "\")";
}

class FormatDataTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatDataTable, GivesTheExpectedText) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatData(c.text, c.type, c.format, ""), c.expected);
    // The writers' fast path agrees and appends after what is there.
    std::string out = "x";
    if (std::string_view(c.format).size() == 1) {
        appendFormatted(out, c.text, c.type, c.format[0]);
        EXPECT_EQ(out, std::string("x") + c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Delimited, FormatDataTable,
    ::testing::Values(FormatCase{"abc", 200, "A", "\"abc\""},
                      FormatCase{"abc", 12, "A", "\"abc\""},
                      FormatCase{"abc", 129, "A", "\"abc\""},
                      FormatCase{"abc", 202, "A", "\"abc\""},
                      FormatCase{"abc", 3, "A", "abc"},
                      FormatCase{"abc", 201, "A", "abc"},
                      FormatCase{"2003-12-25", 7, "A", "2003-12-25"},
                      FormatCase{"", 200, "A", "\"\""},
                      FormatCase{"NULL", 200, "A", "\"NULL\""},
                      FormatCase{"NULL", 3, "A", "NULL"},
                      FormatCase{"say \"hi\"", 200, "A", "\"say \"\"hi\"\"\""},
                      FormatCase{"\"", 129, "A", "\"\"\"\""},
                      FormatCase{"a,b", 200, "A", "\"a,b\""}));

INSTANTIATE_TEST_SUITE_P(
    Insert, FormatDataTable,
    ::testing::Values(
        FormatCase{"O'Brien", 129, "I", "'O''Brien'"},
        FormatCase{"plain", 200, "I", "'plain'"},
        FormatCase{"", 200, "I", "''"},
        FormatCase{"", 3, "I", "NULL"},
        FormatCase{"", 131, "I", "NULL"},
        FormatCase{"42", 3, "I", "42"},
        FormatCase{"", 7, "I", "''"},
        FormatCase{"", 135, "I", "''"},
        FormatCase{"2003-12-25 13:05:07", 7, "I",
                   "TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')"},
        FormatCase{"2003-12-25", 135, "I", "TO_DATE('25/12/2003 00:00:00','dd/mm/yyyy hh24:mi:ss')"},
        FormatCase{"2003-01-05T09:03:04Z", 7, "I",
                   "TO_DATE('05/01/2003 09:03:04','dd/mm/yyyy hh24:mi:ss')"},
        FormatCase{"05/01/2003 09:03", 7, "I",
                   "TO_DATE('05/01/2003 09:03:00','dd/mm/yyyy hh24:mi:ss')"}));

INSTANTIATE_TEST_SUITE_P(
    Loader, FormatDataTable,
    ::testing::Values(FormatCase{"2003-01-05 09:03:04", 135, "S", "05/01/2003 09:03:04"},
                      FormatCase{"2003-12-25 23:59:59", 7, "S", "25/12/2003 23:59:59"},
                      FormatCase{"0099-02-03", 7, "S", "03/02/0099 00:00:00"},
                      FormatCase{"2004-02-29 12:00:00.250", 7, "S", "29/02/2004 12:00:00"},
                      FormatCase{"25/12/2003 13:05:07", 7, "S", "25/12/2003 13:05:07"},
                      FormatCase{"", 7, "S", ""},
                      FormatCase{"O'Brien \"x\"", 200, "S", "O'Brien \"x\""},
                      FormatCase{"", 3, "S", ""},
                      FormatCase{"7", 3, "S", "7"}));

INSTANTIATE_TEST_SUITE_P(
    OtherLetters, FormatDataTable,
    ::testing::Values(FormatCase{"abc", 200, "E", "abc"},
                      FormatCase{"not a date", 7, "E", "not a date"},
                      FormatCase{"abc", 200, "a", ""},
                      FormatCase{"abc", 200, "i", ""},
                      FormatCase{"abc", 3, "X", ""},
                      FormatCase{"abc", 200, "", ""},
                      FormatCase{"abc", 200, "AA", ""}));

TEST(FormatData, DateTextThatIsNoDateIsATypeMismatchUnderItsTag) {
    for (const char* letter : {"I", "S"}) {
        for (const char* text : {"yesterday", "2003-02-30", "2003-12-25 24:00:00", "25/13/2003"}) {
            SCOPED_TRACE(std::string(letter) + " " + text);
            try {
                FormatData(text, 135, letter, "");
                ADD_FAILURE() << "no error";
            } catch (const Error& e) {
                EXPECT_EQ(e.number(), err::kTypeMismatch);
                EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
            }
        }
    }
}

TEST(FormatData, FastPathReportsTheSameFailure) {
    std::string out;
    try {
        appendFormatted(out, "soon", 7, 'S');
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kTypeMismatch);
        EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
    }
}

TEST(GetFieldTypeText, ByTypeGroup) {
    const std::string date = "DATE\t\"dd/mm/yyyy hh24:mi:ss\"";
    EXPECT_EQ(GetFieldTypeText(7), date);
    EXPECT_EQ(GetFieldTypeText(135), date);
    for (int32_t t : {12, 129, 200, 202}) EXPECT_EQ(GetFieldTypeText(t), "CHAR") << t;
    // Long character types are not in the character group.
    for (int32_t t : {201, 203, 3, 5, 131, 0, -1})
        EXPECT_EQ(GetFieldTypeText(t), "INTEGER EXTERNAL") << t;
}

TEST(CovStr, BoolTagTakesOnlyBooleans) {
    EXPECT_EQ(CovStr(Variant(true), "Bool"), "1");
    EXPECT_EQ(CovStr(Variant(false), "Bool"), "0");
    EXPECT_EQ(CovStr(Variant(int32_t{1}), "Bool"), "");
    EXPECT_EQ(CovStr(Variant("True"), "Bool"), "");
    EXPECT_EQ(CovStr(Variant::null(), "Bool"), "");
    // The tag is exact.
    EXPECT_EQ(CovStr(Variant(true), "bool"), "-1");
}

TEST(CovStr, NumbersGetALeadingBlankUnlessNegative) {
    EXPECT_EQ(CovStr(Variant(int32_t{7}), ""), " 7");
    EXPECT_EQ(CovStr(Variant(int32_t{-7}), ""), "-7");
    EXPECT_EQ(CovStr(Variant(int32_t{0}), ""), " 0");
    EXPECT_EQ(CovStr(Variant(8.25), ""), " 8.25");
    EXPECT_EQ(CovStr(Variant(-0.5), ""), "-0.5");
    EXPECT_EQ(CovStr(Variant(-0.0), ""), " 0");
    EXPECT_EQ(CovStr(Variant(0.1), ""), " 0.1");
    EXPECT_EQ(CovStr(Variant(int64_t{0x80000005}), "Long"), " 2147483653");
    EXPECT_EQ(CovStr(Variant(), ""), " 0");
    EXPECT_EQ(CovStr(Variant(true), ""), "-1");
}

TEST(CovStr, NumericTextConvertsLikeTheNumber) {
    EXPECT_EQ(CovStr(Variant("12"), ""), " 12");
    EXPECT_EQ(CovStr(Variant(" 8.25 "), ""), " 8.25");
    EXPECT_EQ(CovStr(Variant("-3"), ""), "-3");
    EXPECT_EQ(CovStr(Variant("9007199254740993"), ""), " 9007199254740993");
    EXPECT_EQ(CovStr(Variant("1e3"), ""), " 1000");
}

TEST(CovStr, NoNumberIsATypeMismatchUnderItsTag) {
    for (const Variant& v : {Variant("abc"), Variant(""), Variant::null(), Variant(DateTime{})}) {
        try {
            CovStr(v, "");
            ADD_FAILURE() << "no error for " << v.toText();
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::kTypeMismatch);
            EXPECT_THAT(e.description(), HasSubstr("mFunctions.CovStr"));
        }
    }
}

}  // namespace
}  // namespace varnelo
