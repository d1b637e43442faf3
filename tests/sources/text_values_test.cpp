#include "sources/text_values.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace varnelo {
namespace {

// Decimal text becomes the kind that carries its exact value: Int64 when whole, Double when the double
// writes back as the same number, else its digits as text.
TEST(NumericFromText, KeepsTheExactValue) {
    using K = Variant::Kind;
    const struct { const char* text; K kind; const char* written; } cases[] = {
        {"-9223372036854775808", K::Int64, "-9223372036854775808"},
        {"5.000", K::Int64, "5"},                  {"-0.00", K::Int64, "0"},
        {"1.50", K::Double, "1.5"},                {"-0.0012", K::Double, "-0.0012"},
        {"123456789012.345", K::Double, "123456789012.345"},
        {"0.1234567890123456", K::Double, "0.1234567890123456"},  // 16 digits the double still carries
        {"9223372036854775808", K::Double, "9223372036854775808"},  // 2^63: past Int64, exact as a double
        {"12345678901234567890", K::String, "12345678901234567890"},
        {"12345678901234567890.123456789", K::String, "12345678901234567890.123456789"},
        {"0.12345678901234567890", K::String, "0.12345678901234567890"},
        {"NaN", K::Double, "NaN"},                 {"-Infinity", K::Double, "-Infinity"},
        {"12.5.1", K::String, "12.5.1"},           {"", K::String, ""},
    };
    for (const auto& c : cases) {
        FieldValue v;
        std::string written;
        sources::numericFromText(c.text, v);
        v.appendText(written);
        EXPECT_EQ(std::pair(v.kind, written), std::pair(c.kind, std::string(c.written))) << c.text;
    }
}

// What no date holds stays text (a year BC, 'infinity', an offset with seconds); a double keeps its last bit.
TEST(DateAndDoubleFromText, KeepWhatNoDateOrNumberHolds) {
    FieldValue v;
    for (const char* kept : {"infinity", "0044-03-15 BC", "1850-01-01 00:00:00+00:53:28"}) {
        sources::dateFromText(kept, v);
        EXPECT_EQ(v.kind, Variant::Kind::String) << kept;
        EXPECT_EQ(v.text, kept);
    }
    sources::doubleFromText("1.0000000000000002", v);
    EXPECT_EQ(v.number, 1.0000000000000002);
}

}  // namespace
}  // namespace varnelo
