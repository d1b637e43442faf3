#include "writers/formatting.h"

#include <charconv>
#include <cstring>

#include "errors/hunt_err.h"
#include "varnelo/error.h"

namespace varnelo {

namespace {

// Tags held once: the guard takes a std::string, and FormatData must not
// allocate for it on every value.
const std::string& formatDataTag() {
    static const std::string tag = "mFunctions.FormatData(strIn,FieldType,FormatType,DateFormat)";
    return tag;
}

void appendTwo(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

void appendYear(std::string& out, int y) {
    if (y < 0 || y > 9999) {  // no 4-digit form; write what there is
        char buf[16];
        auto r = std::to_chars(buf, buf + sizeof buf, y);
        out.append(buf, r.ptr);
        return;
    }
    out.push_back(static_cast<char>('0' + y / 1000));
    out.push_back(static_cast<char>('0' + y / 100 % 10));
    appendTwo(out, y % 100);
}

bool readDate(std::string_view text, DateTime& d) {
    return DateTime::parseIso(text, d) || DateTime::parseDayFirst(text, d);
}

// dd/MM/yyyy HH:mm:ss
void appendDayFirst(std::string& out, const DateTime& d) {
    appendTwo(out, d.day);
    out.push_back('/');
    appendTwo(out, d.month);
    out.push_back('/');
    appendYear(out, d.year);
    out.push_back(' ');
    appendTwo(out, d.hour);
    out.push_back(':');
    appendTwo(out, d.minute);
    out.push_back(':');
    appendTwo(out, d.second);
}

// Wraps text in `quote`, doubling the quote character inside.
void appendQuoted(std::string& out, std::string_view text, char quote) {
    out.push_back(quote);
    for (;;) {
        const void* hit = text.empty() ? nullptr : std::memchr(text.data(), quote, text.size());
        if (!hit) break;
        size_t n = static_cast<size_t>(static_cast<const char*>(hit) - text.data()) + 1;
        out.append(text.data(), n);
        out.push_back(quote);
        text.remove_prefix(n);
    }
    out.append(text);
    out.push_back(quote);
}

// The formatting proper. Returns false when a date-group text is no date;
// the callers raise the error each in their own way.
bool formatInto(std::string& out, std::string_view text, int32_t fieldType, char formatType) {
    switch (formatType) {
        case 'A':
            if (isCharacterType(fieldType))
                appendQuoted(out, text, '"');
            else
                out.append(text);
            return true;
        case 'I':
            if (isCharacterType(fieldType)) {
                appendQuoted(out, text, '\'');
            } else if (isDateType(fieldType)) {
                if (text.empty()) {
                    out.append("''");
                } else {
                    DateTime d;
                    if (!readDate(text, d)) return false;
                    out.append("TO_DATE('");
                    appendDayFirst(out, d);
                    out.append("','dd/mm/yyyy hh24:mi:ss')");
                }
            } else {
                out.append(text.empty() ? std::string_view("NULL") : text);
            }
            return true;
        case 'S':
            if (isDateType(fieldType) && !text.empty()) {
                DateTime d;
                if (!readDate(text, d)) return false;
                appendDayFirst(out, d);
            } else {
                out.append(text);
            }
            return true;
        case 'E':
            out.append(text);
            return true;
        default:
            return true;
    }
}

[[noreturn]] void raiseTypeMismatch() { throw Error::standard(err::kTypeMismatch); }

// Kept out of line so the writers' loop carries no exception handling of
// its own; the failure still goes through FormatData's handler.
[[noreturn]] [[gnu::noinline, gnu::cold]] void failFormatData() {
    hunterr::guard(formatDataTag(), []() -> int { raiseTypeMismatch(); });
    raiseTypeMismatch();  // not reached: the guard raises
}

}  // namespace

std::string FormatData(std::string_view strIn, int32_t fieldType, std::string_view formatType,
                       std::string_view /*dateFormat*/) {
    return hunterr::guard(formatDataTag(), [&]() -> std::string {
        std::string out;
        if (formatType.size() != 1) return out;
        out.reserve(strIn.size() + 2);
        if (!formatInto(out, strIn, fieldType, formatType[0])) raiseTypeMismatch();
        return out;
    });
}

void appendFormatted(std::string& out, std::string_view text, int32_t fieldType, char formatType) {
    if (!formatInto(out, text, fieldType, formatType)) failFormatData();
}

std::string GetFieldTypeText(int32_t fieldType) {
    static const std::string tag = "mFunctions.GetFieldTypeText(FieldType)";
    return hunterr::guard(tag, [&]() -> std::string {
        if (isDateType(fieldType)) return "DATE\t\"dd/mm/yyyy hh24:mi:ss\"";
        if (isCharacterType(fieldType)) return "CHAR";
        return "INTEGER EXTERNAL";
    });
}

namespace {

void appendSignedNumber(std::string& out, int64_t v) {
    if (v >= 0) out.push_back(' ');
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void appendSignedNumber(std::string& out, double d) {
    if (d == 0) d = 0;  // -0 reads as 0
    if (!(d < 0)) out.push_back(' ');
    appendDouble(out, d);
}

}  // namespace

std::string CovStr(const Variant& inval, std::string_view dataType) {
    static const std::string tag = "mFunctions.CovStr(inval,DataType)";
    return hunterr::guard(tag, [&]() -> std::string {
        std::string out;
        if (dataType == "Bool") {
            if (inval.kind() == Variant::Kind::Boolean) out = inval.asBool() ? "1" : "0";
            return out;
        }
        switch (inval.kind()) {
            case Variant::Kind::Empty: appendSignedNumber(out, int64_t{0}); break;
            case Variant::Kind::Boolean: appendSignedNumber(out, int64_t{inval.asBool() ? -1 : 0}); break;
            case Variant::Kind::Int32: appendSignedNumber(out, int64_t{inval.asInt32()}); break;
            case Variant::Kind::Int64: appendSignedNumber(out, inval.asInt64()); break;
            case Variant::Kind::Double: appendSignedNumber(out, inval.asDouble()); break;
            case Variant::Kind::String: {
                // Whole numbers keep every digit; anything else reads as a
                // double (and fails with 13 when it is no number).
                std::string_view t = inval.asString();
                while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
                while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
                if (!t.empty() && t.front() == '+') t.remove_prefix(1);
                int64_t whole = 0;
                auto r = std::from_chars(t.data(), t.data() + t.size(), whole);
                if (!t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size())
                    appendSignedNumber(out, whole);
                else
                    appendSignedNumber(out, inval.toDouble());
                break;
            }
            case Variant::Kind::Null:
            case Variant::Kind::Date:
            case Variant::Kind::Bytes: raiseTypeMismatch();
        }
        return out;
    });
}

}  // namespace varnelo
