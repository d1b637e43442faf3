// Value formatting: FormatData, GetFieldTypeText and CovStr.
#include "writers/formatting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(FormatData, TableOfCases) {
    const std::string tsDate = "TO_DATE('25/12/2003 13:05:07','dd/mm/yyyy hh24:mi:ss')";
    const FormatCase cases[] = {
        {"abc", 200, "A", "\"abc\""}, {"abc", 12, "A", "\"abc\""}, {"abc", 202, "A", "\"abc\""},
        {"abc", 3, "A", "abc"}, {"abc", 201, "A", "abc"}, {"2003-12-25", 7, "A", "2003-12-25"},
        {"", 129, "A", "\"\""}, {"say \"hi\"", 200, "A", "\"say \"\"hi\"\"\""},
        {"O'Brien", 129, "I", "'O''Brien'"}, {"", 200, "I", "''"}, {"", 3, "I", "NULL"},
        {"42", 3, "I", "42"}, {"", 7, "I", "''"}, {"", 135, "I", "''"},
        {"2003-12-25 13:05:07", 7, "I", tsDate.c_str()},
        {"2003-12-25T13:05:07Z", 135, "I", tsDate.c_str()},
        {"25/12/2003 13:05:07", 7, "I", tsDate.c_str()},
        {"2003-01-05 09:03:04", 135, "S", "05/01/2003 09:03:04"},
        {"2003-12-25 23:59:59", 7, "S", "25/12/2003 23:59:59"},
        {"0099-02-03", 7, "S", "03/02/0099 00:00:00"}, {"", 7, "S", ""},
        {"O'Brien \"x\"", 200, "S", "O'Brien \"x\""}, {"7", 3, "S", "7"},
        {"not a date", 7, "E", "not a date"}, {"abc", 200, "E", "abc"},
        {"abc", 200, "a", ""}, {"abc", 3, "X", ""}, {"abc", 200, "", ""}, {"abc", 200, "AA", ""},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + std::to_string(c.type) + " / " + c.format);
        EXPECT_EQ(FormatData(c.text, c.type, c.format, ""), c.expected);
        if (std::string_view(c.format).size() == 1) {  // the writers' path appends the same
            std::string out = "x";
            appendFormatted(out, c.text, c.type, c.format[0]);
            EXPECT_EQ(out, std::string("x") + c.expected);
        }
    }
}

TEST(FormatData, DateTextThatIsNoDateIsATypeMismatchUnderItsTag) {
    for (const char* letter : {"I", "S"}) {
        for (const char* text : {"yesterday", "2003-02-30", "2003-12-25 24:00:00", "25/13/2003"}) {
            SCOPED_TRACE(std::string(letter) + " " + text);
            for (bool fastPath : {false, true}) {
                try {
                    std::string out;
                    if (fastPath)
                        appendFormatted(out, text, 135, letter[0]);
                    else
                        FormatData(text, 135, letter, "");
                    ADD_FAILURE() << "no error";
                } catch (const Error& e) {
                    EXPECT_EQ(e.number(), err::kTypeMismatch);
                    EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
                }
            }
        }
    }
}

TEST(GetFieldTypeText, ByTypeGroup) {
    EXPECT_EQ(GetFieldTypeText(7), "DATE\t\"dd/mm/yyyy hh24:mi:ss\"");
    EXPECT_EQ(GetFieldTypeText(135), "DATE\t\"dd/mm/yyyy hh24:mi:ss\"");
    for (int32_t t : {12, 129, 200, 202}) EXPECT_EQ(GetFieldTypeText(t), "CHAR") << t;
    // Long character types are not in the character group.
    for (int32_t t : {201, 203, 3, 131}) EXPECT_EQ(GetFieldTypeText(t), "INTEGER EXTERNAL") << t;
}

TEST(CovStr, BoolTagAndNumbers) {
    EXPECT_EQ(CovStr(Variant(true), "Bool"), "1");
    EXPECT_EQ(CovStr(Variant(false), "Bool"), "0");
    EXPECT_EQ(CovStr(Variant(int32_t{1}), "Bool"), "");
    EXPECT_EQ(CovStr(Variant("True"), "Bool"), "");

    EXPECT_EQ(CovStr(Variant(int32_t{7}), ""), " 7");
    EXPECT_EQ(CovStr(Variant(int32_t{-7}), ""), "-7");
    EXPECT_EQ(CovStr(Variant(8.25), ""), " 8.25");
    EXPECT_EQ(CovStr(Variant(-0.0), ""), " 0");
    EXPECT_EQ(CovStr(Variant(int64_t{0x80000005}), ""), " 2147483653");
    EXPECT_EQ(CovStr(Variant(true), "bool"), "-1");  // the tag is exact
    // Text holding a number converts like the number, every digit kept.
    EXPECT_EQ(CovStr(Variant(" 8.25 "), ""), " 8.25");
    EXPECT_EQ(CovStr(Variant("9007199254740993"), ""), " 9007199254740993");
    EXPECT_EQ(CovStr(Variant("-3"), ""), "-3");
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
