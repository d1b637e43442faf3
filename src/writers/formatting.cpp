#include "writers/formatting.h"

#include <charconv>
#include <cstring>

#include "errors/hunt_err.h"
#include "varnelo/error.h"

namespace varnelo {

namespace {

// A bare number as SQL reads one: digits with an optional sign, point and
// exponent. Anything else in a numeric column is quoted, never run.
bool isSqlNumber(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        const size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        if (i == start) return false;
    }
    return i == t.size();
}

void formatInsertValue(std::string& out, std::string_view text, int32_t fieldType) {
    const TypeGroup group = typeGroupOf(fieldType);
    if (text.empty()) {
        out.append(group == TypeGroup::Other ? "NULL" : "''");
        return;
    }
    if (group == TypeGroup::Other && isSqlNumber(text)) {
        out.append(text);
        return;
    }
    FieldValue v;
    v.kind = Variant::Kind::String;
    v.text = text;
    if (appendSqlLiteral(out, v, group) == SqlLiteral::HasNul)
        throw Error(err::kInvalidProcedureCall, "Varnelo", "A NUL character cannot stand in a SQL text literal.");
}

}  // namespace

std::string FormatData(std::string_view strIn, int32_t fieldType, std::string_view formatType,
                       std::string_view /*dateFormat*/) {
    static const std::string tag = "mFunctions.FormatData(strIn,FieldType,FormatType,DateFormat)";
    return hunterr::guard(tag, [&]() -> std::string {
        std::string out;
        if (formatType.size() != 1) return out;
        switch (formatType[0]) {
            case 'A':
                if (isCharacterType(fieldType)) appendCsvQuoted(out, strIn);
                else out.append(strIn);
                break;
            case 'I': formatInsertValue(out, strIn, fieldType); break;
            case 'S': {
                DateTime d;
                if (isDateType(fieldType) && readDateText(strIn, d)) appendLoaderDate(out, d);
                else out.append(strIn);
                break;
            }
            case 'E': out.append(strIn); break;
            default: break;
        }
        return out;
    });
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

[[noreturn]] void raiseTypeMismatch() { throw Error::standard(err::kTypeMismatch); }

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
