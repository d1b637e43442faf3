// Variant: the value of one field or one property.
//
// A Variant is Empty, Null, Boolean, a 32- or 64-bit integer, a Double, a
// Date or a String. Null ("no value in the database") is distinct from the
// empty string and from Empty ("never assigned"). Every writer turns values
// into text through toText(), so all formats agree on how a value reads.
//
// Strings are UTF-8, which is the system code page on the platforms we run on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace varnelo {

// A calendar date with a time of day, no time zone (as a database gives it).
struct DateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;

    bool isMidnight() const { return hour == 0 && minute == 0 && second == 0; }
    bool operator==(const DateTime&) const = default;

    // Reads "yyyy-MM-dd", "yyyy-MM-dd HH:mm[:ss[.fff]]" or the same with "T"
    // between date and time, with an optional trailing "Z" or +hh:mm offset
    // (ignored). Returns false when the text is no valid date.
    static bool parseIso(std::string_view text, DateTime& out);
    // Reads "dd/MM/yyyy[ HH:mm[:ss]]", the layout the SQL writers produce.
    static bool parseDayFirst(std::string_view text, DateTime& out);

    // "yyyy-MM-dd HH:mm:ss", or "yyyy-MM-dd" at midnight.
    std::string toText() const;
};

struct Empty { bool operator==(const Empty&) const = default; };
struct Null { bool operator==(const Null&) const = default; };

class Variant {
public:
    enum class Kind { Empty, Null, Boolean, Int32, Int64, Double, Date, String };

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
    std::variant<Empty, Null, bool, int32_t, int64_t, double, DateTime, std::string> v_;
};

// Shortest decimal text that reads back as the same double.
std::string formatDouble(double d);
void appendDouble(std::string& out, double d);

}  // namespace varnelo
