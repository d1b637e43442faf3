// Text conversion of values: one place, so every writer agrees.
#include "varnelo/variant.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "varnelo/error.h"

namespace varnelo {

namespace {

void append2(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

void appendInt(std::string& out, int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

bool readDigits(std::string_view s, size_t& pos, size_t count, int& value) {
    if (pos + count > s.size()) return false;
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = s[pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    pos += count;
    value = v;
    return true;
}

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

}  // namespace

namespace {

// Digits, then the separator `sep` (none when it is 0).
bool readPart(std::string_view s, size_t& pos, size_t count, int& value, char sep) {
    if (!readDigits(s, pos, count, value)) return false;
    if (sep == 0) return true;
    return pos < s.size() && s[pos++] == sep;
}

bool validDate(const DateTime& d) {
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= daysInMonth(d.year, d.month);
}

// "HH:mm[:ss]" at pos, in range.
bool readTime(std::string_view s, size_t& pos, DateTime& d) {
    if (!readPart(s, pos, 2, d.hour, ':') || !readDigits(s, pos, 2, d.minute)) return false;
    if (pos < s.size() && s[pos] == ':' && !readPart(s, ++pos, 2, d.second, 0)) return false;
    return d.hour <= 23 && d.minute <= 59 && d.second <= 59;
}

}  // namespace

bool DateTime::parseIso(std::string_view s, DateTime& out) {
    DateTime d;
    size_t pos = 0;
    if (!readPart(s, pos, 4, d.year, '-') || !readPart(s, pos, 2, d.month, '-') ||
        !readDigits(s, pos, 2, d.day) || !validDate(d))
        return false;
    if (pos < s.size()) {
        if ((s[pos] != ' ' && s[pos] != 'T') || !readTime(s, ++pos, d)) return false;
        if (pos < s.size() && s[pos] == '.') {
            size_t start = ++pos;
            int32_t nanos = 0;
            while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
                if (pos - start >= 9) return false;  // below a nanosecond: nothing holds it
                nanos = nanos * 10 + (s[pos] - '0');
                ++pos;
            }
            if (pos == start) return false;
            d.fractionDigits = static_cast<int8_t>(pos - start);
            for (size_t k = pos - start; k < 9; ++k) nanos *= 10;
            d.nanosecond = nanos;
        }
        if (pos < s.size() && s[pos] == 'Z') {
            ++pos;
            d.zone = Zone::Utc;
        } else if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
            const bool west = s[pos] == '-';
            int hh = 0, mm = 0;
            if (!readDigits(s, ++pos, 2, hh)) return false;
            if (pos < s.size()) {  // "+hh", "+hhmm" or "+hh:mm"
                if (s[pos] == ':') ++pos;
                if (!readDigits(s, pos, 2, mm)) return false;
            }
            if (hh > 23 || mm > 59) return false;
            d.zone = Zone::Offset;
            d.offsetMinutes = static_cast<int16_t>((west ? -1 : 1) * (hh * 60 + mm));
        }
        if (pos != s.size()) return false;
    }
    out = d;
    return true;
}

bool DateTime::parseDayFirst(std::string_view s, DateTime& out) {
    DateTime d;
    size_t pos = 0;
    if (!readPart(s, pos, 2, d.day, '/') || !readPart(s, pos, 2, d.month, '/') ||
        !readDigits(s, pos, 4, d.year) || !validDate(d))
        return false;
    if (pos < s.size() && (s[pos] != ' ' || !readTime(s, ++pos, d) || pos != s.size())) return false;
    out = d;
    return true;
}

void DateTime::appendFraction(std::string& out) const {
    if (!hasFraction()) return;
    char digits[9];
    int32_t n = nanosecond;
    for (int k = 8; k >= 0; --k) {
        digits[k] = static_cast<char>('0' + n % 10);
        n /= 10;
    }
    out += '.';
    out.append(digits, static_cast<size_t>(fractionDigits));
}

void DateTime::appendZone(std::string& out) const {
    if (zone == Zone::Utc) {
        out += 'Z';
    } else if (zone == Zone::Offset) {
        const int m = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
        out += offsetMinutes < 0 ? '-' : '+';
        append2(out, m / 60);
        out += ':';
        append2(out, m % 60);
    }
}

void DateTime::appendText(std::string& out) const {
    if (year >= 0 && year <= 9999) {
        out += static_cast<char>('0' + year / 1000);
        out += static_cast<char>('0' + year / 100 % 10);
        append2(out, year % 100);
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d", year);
        out += buf;
    }
    out += '-';
    append2(out, month);
    out += '-';
    append2(out, day);
    if (!isMidnight()) {
        out += ' ';
        append2(out, hour);
        out += ':';
        append2(out, minute);
        out += ':';
        append2(out, second);
        appendFraction(out);
        appendZone(out);
    }
}

std::string DateTime::toText() const {
    std::string s;
    s.reserve(32);
    appendText(s);
    return s;
}

void appendHex(std::string& out, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    char* p = out.data() + start;
    for (unsigned char c : bytes) {
        *p++ = kDigits[c >> 4];
        *p++ = kDigits[c & 0x0F];
    }
}

void appendDouble(std::string& out, double d) {
    if (std::isnan(d)) { out += "NaN"; return; }
    if (std::isinf(d)) { out += d < 0 ? "-Infinity" : "Infinity"; return; }
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, r.ptr);
}

std::string formatDouble(double d) {
    std::string s;
    appendDouble(s, d);
    return s;
}

void Variant::appendText(std::string& out) const {
    switch (kind()) {
        case Kind::Empty:
        case Kind::Null: return;
        case Kind::Boolean: out += asBool() ? "True" : "False"; return;
        case Kind::Int32: appendInt(out, asInt32()); return;
        case Kind::Int64: appendInt(out, asInt64()); return;
        case Kind::Double: appendDouble(out, asDouble()); return;
        case Kind::Date: asDate().appendText(out); return;
        case Kind::String: out += asString(); return;
        case Kind::Bytes: appendHex(out, asBytes().data); return;
    }
}

std::string Variant::toText() const {
    if (isString()) return asString();
    std::string s;
    appendText(s);
    return s;
}

double Variant::toDouble() const {
    switch (kind()) {
        case Kind::Empty: return 0;
        case Kind::Boolean: return asBool() ? -1 : 0;  // the classic True is -1
        case Kind::Int32: return asInt32();
        case Kind::Int64: return static_cast<double>(asInt64());
        case Kind::Double: return asDouble();
        case Kind::String: {
            std::string_view t = trimBlanks(asString());
            if (!t.empty() && t.front() == '+') t.remove_prefix(1);
            double d = 0;
            auto r = std::from_chars(t.data(), t.data() + t.size(), d);
            if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size())
                throw Error::standard(err::kTypeMismatch);
            return d;
        }
        case Kind::Null:
        case Kind::Date:
        case Kind::Bytes: break;
    }
    throw Error::standard(err::kTypeMismatch);
}

int64_t Variant::toInt64() const {
    switch (kind()) {
        case Kind::Int32: return asInt32();
        case Kind::Int64: return asInt64();
        case Kind::String: {
            std::string_view t = trimBlanks(asString());
            if (!t.empty() && t.front() == '+') t.remove_prefix(1);
            int64_t v = 0;
            auto r = std::from_chars(t.data(), t.data() + t.size(), v);
            if (!t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size()) return v;
            break;  // not an integer text: read it as a number and round
        }
        default: break;
    }
    double d = toDouble();
    // Conversion to an integer rounds half to even, as the classic CLng does.
    double r = std::nearbyint(d);
    if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18))
        throw Error::standard(err::kOverflow);
    return static_cast<int64_t>(r);
}

int32_t Variant::toInt32() const {
    int64_t v = toInt64();
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
        throw Error::standard(err::kOverflow);
    return static_cast<int32_t>(v);
}

}  // namespace varnelo
