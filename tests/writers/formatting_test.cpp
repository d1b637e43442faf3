// Value formatting: FormatData, GetFieldTypeText and CovStr.
#include "writers/formatting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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
        {"42", 3, "I", "42"}, {"", 7, "I", "''"}, {"", 135, "I", "''"},
        {"2003-12-25 13:05:07", 7, "I", toDate.c_str()}, {"2003-12-25T13:05:07Z", 135, "I", toDate.c_str()},
        {"25/12/2003 13:05:07", 7, "I", toDate.c_str()},
        {"2003-01-05 09:03:04", 135, "S", "05/01/2003 09:03:04"}, {"0099-02-03", 7, "S", "03/02/0099 00:00:00"},
        {"2003-12-25 23:59:59", 7, "S", "25/12/2003 23:59:59"}, {"", 7, "S", ""}, {"7", 3, "S", "7"},
        {"O'Brien \"x\"", 200, "S", "O'Brien \"x\""},
        {"not a date", 7, "E", "not a date"}, {"abc", 200, "E", "abc"},
        {"abc", 200, "a", ""}, {"abc", 3, "X", ""}, {"abc", 200, "", ""}, {"abc", 200, "AA", ""},
    };
    for (const auto& c : cases) {
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
    for (char letter : {'I', 'S'})
        for (const char* text : {"yesterday", "2003-02-30", "2003-12-25 24:00:00", "25/13/2003"})
            for (bool append : {false, true}) {
                SCOPED_TRACE(std::string(1, letter) + " " + text + (append ? " appended" : ""));
                Error e = errorOf([&] {
                    std::string out;
                    if (append) appendFormatted(out, text, 135, letter);
                    else out = FormatData(text, 135, std::string_view(&letter, 1), "");
                });
                EXPECT_EQ(e.number(), err::kTypeMismatch);
                EXPECT_THAT(e.description(), HasSubstr("mFunctions.FormatData"));
            }
}

TEST(GetFieldTypeText, ByTypeGroup) {
    for (int32_t t : {7, 135}) EXPECT_EQ(GetFieldTypeText(t), "DATE\t\"dd/mm/yyyy hh24:mi:ss\"") << t;
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
