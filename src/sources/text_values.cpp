#include "sources/text_values.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace varnelo::sources {

namespace {

// A decimal number in a form where equal values compare equal:
// 0.<digits> x 10^exponent, digits without leading or trailing zeros.
struct Decimal {
    bool negative = false;
    std::string digits;
    long exponent = 0;
    bool operator==(const Decimal&) const = default;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool readDecimal(std::string_view s, Decimal& out) {
    size_t i = 0;
    out = Decimal{};
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) out.negative = s[i++] == '-';
    std::string digits;
    size_t whole = 0;
    while (i < s.size() && isDigit(s[i])) digits += s[i++], ++whole;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) digits += s[i++];
    }
    if (digits.empty()) return false;
    long exponent = 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negativeExponent = s[i++] == '-';
        const size_t start = i;
        while (i < s.size() && isDigit(s[i])) {
            if (exponent > 100000) return false;
            exponent = exponent * 10 + (s[i++] - '0');
        }
        if (i == start) return false;
        if (negativeExponent) exponent = -exponent;
    }
    if (i != s.size()) return false;
    long point = static_cast<long>(whole) + exponent;
    size_t first = digits.find_first_not_of('0');
    if (first == std::string::npos) {  // zero, whatever its sign
        out.negative = false;
        return true;
    }
    point -= static_cast<long>(first);
    size_t last = digits.find_last_not_of('0');
    out.digits = digits.substr(first, last - first + 1);
    out.exponent = point;
    return true;
}

// "12.000" -> the whole part "12" when every digit after the point is 0.
bool wholePart(std::string_view s, std::string_view& whole) {
    size_t dot = s.find('.');
    if (dot == std::string_view::npos) {
        whole = s;
        return true;
    }
    for (size_t i = dot + 1; i < s.size(); ++i)
        if (s[i] != '0') return false;
    whole = s.substr(0, dot);
    return true;
}

void setString(std::string_view text, FieldValue& out) {
    out.kind = Variant::Kind::String;
    out.text = text;
}

void setDouble(double d, FieldValue& out) {
    out.kind = Variant::Kind::Double;
    out.number = d;
}

bool specialDouble(std::string_view text, FieldValue& out) {
    if (text == "NaN") setDouble(std::numeric_limits<double>::quiet_NaN(), out);
    else if (text == "Infinity" || text == "inf") setDouble(std::numeric_limits<double>::infinity(), out);
    else if (text == "-Infinity" || text == "-inf") setDouble(-std::numeric_limits<double>::infinity(), out);
    else return false;
    return true;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

// The common case without allocations: a plain decimal ("-123.4500") that is
// whole, or has at most 15 significant digits, which a double always
// carries exactly (DBL_DIG). False when the slow path must decide.
bool plainNumeric(std::string_view t, FieldValue& out) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    const size_t wholeStart = i;
    while (i < t.size() && isDigit(t[i])) ++i;
    const size_t wholeEnd = i;
    int significant = 0;
    bool fraction = false;
    for (size_t k = wholeStart; k < wholeEnd; ++k)
        if (significant > 0 || t[k] != '0') ++significant;
    if (i < t.size() && t[i] == '.') {
        size_t lastNonZero = 0;
        int leading = 0;  // zeros after the point before the first digit, when the whole part is 0
        for (++i; i < t.size() && isDigit(t[i]); ++i) {
            if (t[i] != '0') lastNonZero = i, fraction = true;
            else if (significant == 0 && !fraction) ++leading;
        }
        if (fraction) {
            // Digits of the fraction up to its last non-zero one, less leading zeros.
            const size_t point = wholeEnd;
            significant += static_cast<int>(lastNonZero - point) - (significant == 0 ? leading : 0);
        }
    }
    if (i != t.size() || (wholeEnd == wholeStart && !fraction)) return false;
    if (!fraction) {
        int64_t n = 0;
        const char* first = t.data() + (t[0] == '+' ? 1 : 0);
        auto r = std::from_chars(first, t.data() + wholeEnd, n);
        if (r.ec != std::errc() || r.ptr != t.data() + wholeEnd) return false;
        out.kind = Variant::Kind::Int64;
        out.integer = n;
        return true;
    }
    if (significant > 15) return false;
    double d = 0;
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    auto r = std::from_chars(first, t.data() + t.size(), d);
    if (r.ec != std::errc() || std::fpclassify(d) != FP_NORMAL) return false;
    setDouble(d, out);
    return true;
}

void numericFromText(std::string_view text, FieldValue& out) {
    std::string_view t = trimBlanks(text);
    if (plainNumeric(t, out) || specialDouble(t, out)) return;
    Decimal value;
    if (!readDecimal(t, value)) return setString(text, out);
    std::string_view whole;
    if (t.find_first_of("eE") == std::string_view::npos && wholePart(t, whole)) {
        if (!whole.empty() && whole.front() == '+') whole.remove_prefix(1);
        int64_t n = 0;
        auto r = std::from_chars(whole.data(), whole.data() + whole.size(), n);
        if (r.ec == std::errc() && r.ptr == whole.data() + whole.size()) {
            out.kind = Variant::Kind::Int64;
            out.integer = n;
            return;
        }
    }
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    double d = 0;
    auto r = std::from_chars(t.data(), t.data() + t.size(), d);
    if (r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(d)) return setString(text, out);
    char buf[32];
    auto w = std::to_chars(buf, buf + sizeof buf, d);
    Decimal written;
    if (readDecimal(std::string_view(buf, static_cast<size_t>(w.ptr - buf)), written) && written == value)
        return setDouble(d, out);
    setString(text, out);
}

void doubleFromText(std::string_view text, FieldValue& out) {
    if (specialDouble(text, out)) return;
    double d = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), d);
    if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return setDouble(d, out);
    setString(text, out);
}

void dateFromText(std::string_view text, FieldValue& out) {
    if (DateTime::parseIso(text, out.date)) {
        out.kind = Variant::Kind::Date;
        return;
    }
    setString(text, out);
}

}  // namespace varnelo::sources
