#include "sources/text_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace varnelo {
namespace {

// Decimal text becomes the kind that carries its exact value: a whole number
// Int64, a number whose double writes back as the same number Double, any
// other its digits as text.
TEST(NumericFromText, KeepsTheExactValue) {
    using K = Variant::Kind;
    const struct {
        const char* text;
        K kind;
        const char* written;  // FieldValue::appendText
    } cases[] = {
        {"42", K::Int64, "42"},
        {"-9223372036854775808", K::Int64, "-9223372036854775808"},
        {"5.000", K::Int64, "5"},
        {"-0.00", K::Int64, "0"},
        {"0.1", K::Double, "0.1"},
        {"1.50", K::Double, "1.5"},
        {"-0.0012", K::Double, "-0.0012"},
        {"99999999.99", K::Double, "99999999.99"},
        {"123456789012.345", K::Double, "123456789012.345"},
        {"0.1234567890123456", K::Double, "0.1234567890123456"},  // 16 digits the double still carries
        {"9223372036854775808", K::Double, "9223372036854775808"},  // 2^63: past Int64, exact as a double
        {"12345678901234567890", K::String, "12345678901234567890"},
        {"12345678901234567890.123456789", K::String, "12345678901234567890.123456789"},
        {"0.12345678901234567890", K::String, "0.12345678901234567890"},
        {"NaN", K::Double, "NaN"},
        {"-Infinity", K::Double, "-Infinity"},
        {"12.5.1", K::String, "12.5.1"},
        {"", K::String, ""},
    };
    for (const auto& c : cases) {
        FieldValue v;
        sources::numericFromText(c.text, v);
        EXPECT_EQ(v.kind, c.kind) << c.text;
        std::string written;
        v.appendText(written);
        EXPECT_EQ(written, c.written) << c.text;
    }
}

TEST(DateAndDoubleFromText, KeepWhatNoDateOrNumberHolds) {
    FieldValue v;
    sources::dateFromText("2003-12-25 13:05:07.120+05:30", v);
    ASSERT_EQ(v.kind, Variant::Kind::Date);
    EXPECT_EQ(v.date.fractionDigits, 3);
    EXPECT_EQ(v.date.offsetMinutes, 330);
    for (const char* kept : {"infinity", "0044-03-15 BC", "1850-01-01 00:00:00+00:53:28"}) {
        sources::dateFromText(kept, v);
        EXPECT_EQ(v.kind, Variant::Kind::String) << kept;
        EXPECT_EQ(v.text, kept);
    }
    sources::doubleFromText("-Infinity", v);
    EXPECT_TRUE(v.kind == Variant::Kind::Double && std::isinf(v.number) && v.number < 0);
    sources::doubleFromText("1.0000000000000002", v);
    EXPECT_EQ(v.number, 1.0000000000000002);
}

}  // namespace
}  // namespace varnelo
