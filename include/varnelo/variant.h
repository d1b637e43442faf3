// Variant: the value of one field or one property.
//
// A Variant is Empty, Null, Boolean, a 32- or 64-bit integer, a Double, a
// Date, a String or Bytes (a binary value, such as a database BLOB). Null
// ("no value in the database") is distinct from the empty string and from
// Empty ("never assigned"). toText() is the one plain text of a value, so all
// formats agree on how a value reads where they show it as text.
//
// Strings are UTF-8, which is the system code page on the platforms we run on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "varnelo/export_macros.h"

namespace varnelo {

// A calendar date with a time of day, as a database gives it: optionally a
// fraction of a second (kept with the digits it was written with, so
// ".120" stays ".120") and a zone ("Z" or an offset from UTC). Nothing of
// either is ever dropped: a value reads back as it was written.
struct VARNELO_EXPORT DateTime {
    enum class Zone : char { None, Utc, Offset };  // Utc is the "Z" suffix

    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    int32_t nanosecond = 0;  // 0..999,999,999
    int8_t fractionDigits = 0;  // 0: no fraction written; else 1..9
    Zone zone = Zone::None;
    int16_t offsetMinutes = 0;  // with Zone::Offset: east of UTC, -1439..1439

    bool hasFraction() const { return fractionDigits > 0; }
    bool hasZone() const { return zone != Zone::None; }
    // Neither a fraction nor a zone: what the classic day/month/year masks hold.
    bool isPlain() const { return !hasFraction() && !hasZone(); }
    bool isMidnight() const { return hour == 0 && minute == 0 && second == 0 && isPlain(); }
    bool operator==(const DateTime&) const = default;

    // Reads "yyyy-MM-dd", "yyyy-MM-dd HH:mm[:ss[.f...]]" or the same with "T"
    // between date and time, with an optional trailing "Z" or +hh[:mm]
    // offset (kept). Returns false when the text is no valid date.
    static bool parseIso(std::string_view text, DateTime& out);
    // Reads "dd/MM/yyyy[ HH:mm[:ss]]", the layout the SQL writers produce.
    static bool parseDayFirst(std::string_view text, DateTime& out);

    // "yyyy-MM-dd HH:mm:ss[.f...][Z|+hh:mm]", or "yyyy-MM-dd" at a plain
    // midnight.
    std::string toText() const;
    void appendText(std::string& out) const;
    // ".f..." with the digits the value carries, nothing without a fraction.
    void appendFraction(std::string& out) const;
    // "Z", "+hh:mm" or "-hh:mm"; nothing without a zone.
    void appendZone(std::string& out) const;
};

struct Empty { bool operator==(const Empty&) const = default; };
struct Null { bool operator==(const Null&) const = default; };
// A binary value. As text it reads as upper-case hexadecimal digits.
struct Bytes {
    std::string data;
    bool operator==(const Bytes&) const = default;
};

class VARNELO_EXPORT Variant {
public:
    enum class Kind { Empty, Null, Boolean, Int32, Int64, Double, Date, String, Bytes };

    Variant() = default;
    Variant(Null) : v_(Null{}) {}
    Variant(bool b) : v_(b) {}
    Variant(int32_t i) : v_(i) {}
    Variant(int64_t i) : v_(i) {}
    Variant(double d) : v_(d) {}
    Variant(DateTime d) : v_(d) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(std::string_view s) : v_(std::string(s)) {}
    Variant(Bytes b) : v_(std::move(b)) {}

    static Variant null() { return Variant(Null{}); }

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool isEmpty() const { return kind() == Kind::Empty; }
    bool isNull() const { return kind() == Kind::Null; }
    bool isString() const { return kind() == Kind::String; }
    bool isNumeric() const {
        auto k = kind();
        return k == Kind::Int32 || k == Kind::Int64 || k == Kind::Double || k == Kind::Boolean;
    }

    bool asBool() const { return std::get<bool>(v_); }
    int32_t asInt32() const { return std::get<int32_t>(v_); }
    int64_t asInt64() const { return std::get<int64_t>(v_); }
    double asDouble() const { return std::get<double>(v_); }
    const DateTime& asDate() const { return std::get<DateTime>(v_); }
    const std::string& asString() const { return std::get<std::string>(v_); }
    const Bytes& asBytes() const { return std::get<Bytes>(v_); }

    // The one conversion to text every writer uses. Empty and Null give "".
    std::string toText() const;
    // Appends toText() to out without a temporary (the writers' hot path).
    void appendText(std::string& out) const;

    // True for Null, Empty and the empty string: "no value" to the writers.
    bool isBlank() const {
        return isNull() || isEmpty() || (isString() && asString().empty());
    }

    // Numeric conversions for property values. Strings are parsed (leading
    // and trailing blanks allowed); a value that is no number throws
    // Error 13 (type mismatch).
    int64_t toInt64() const;
    int32_t toInt32() const;  // also fails with 6 (overflow) out of range
    double toDouble() const;

    bool operator==(const Variant&) const = default;

private:
    std::variant<Empty, Null, bool, int32_t, int64_t, double, DateTime, std::string, Bytes> v_;
};

// Shortest decimal text that reads back as the same double; "Infinity",
// "-Infinity" and "NaN" for the values that have no digits.
VARNELO_EXPORT std::string formatDouble(double d);
VARNELO_EXPORT void appendDouble(std::string& out, double d);
// Bytes as upper-case hexadecimal, two digits a byte.
VARNELO_EXPORT void appendHex(std::string& out, std::string_view bytes);

}  // namespace varnelo
