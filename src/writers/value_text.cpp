#include "writers/value_text.h"

#include <array>
#include <cmath>
#include <cstring>

namespace varnelo {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

void appendTwo(std::string& out, int v) {
    out.push_back(static_cast<char>('0' + (v / 10) % 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is not one.
size_t utf8SequenceAt(std::string_view s, size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return 1;
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;       // no overlongs
        else if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        else if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    const auto second = static_cast<unsigned char>(s[i + 1]);
    if (second < lo || second > hi) return 0;
    for (size_t k = 2; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return len;
}

bool isAsciiOnly(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Wraps text in `quote`, doubling the quote character inside.
void appendQuoted(std::string& out, std::string_view text, char quote) {
    out.push_back(quote);
    for (;;) {
        const void* hit = text.empty() ? nullptr : std::memchr(text.data(), quote, text.size());
        if (!hit) break;
        const size_t n = static_cast<size_t>(static_cast<const char*>(hit) - text.data()) + 1;
        out.append(text.data(), n);
        out.push_back(quote);
        text.remove_prefix(n);
    }
    out.append(text);
    out.push_back(quote);
}

// A number's text quoted, for character columns and the non-finite doubles.
void appendQuotedPlain(std::string& out, const FieldValue& v) {
    out.push_back('\'');
    v.appendText(out);  // digits, signs, "True", "Infinity": no quote inside
    out.push_back('\'');
}

bool readDate(std::string_view text, DateTime& d) {
    return DateTime::parseIso(text, d) || DateTime::parseDayFirst(text, d);
}

}  // namespace

void lowerAscii(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

bool isValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        // Runs of ASCII are the common case: eight bytes at a time.
        while (i + 8 <= text.size()) {
            uint64_t word;
            std::memcpy(&word, text.data() + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= text.size()) break;
        const size_t len = utf8SequenceAt(text, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

bool appendRepairedUtf8(std::string& out, std::string_view text, bool replaceNul) {
    if ((!replaceNul || !holdsNul(text)) && isValidUtf8(text)) {
        out.append(text);
        return false;
    }
    bool replaced = false;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '\0' && replaceNul) {
            out.append(kReplacement);
            replaced = true;
            ++i;
            continue;
        }
        const size_t len = utf8SequenceAt(text, i);
        if (len == 0) {
            out.append(kReplacement);
            replaced = true;
            ++i;
        } else {
            out.append(text.substr(i, len));
            i += len;
        }
    }
    return replaced;
}

void appendCsvQuoted(std::string& out, std::string_view text) { appendQuoted(out, text, '"'); }

bool csvNameNeedsQuotes(std::string_view name, std::string_view separator) {
    if (name.find_first_of("\"\r\n") != std::string_view::npos) return true;
    return !separator.empty() && name.find(separator) != std::string_view::npos;
}

bool isPlainIdentifier(std::string_view name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '$' || c == '#';
        if (!ok) return false;
    }
    return true;
}

void appendSqlName(std::string& out, std::string_view name) {
    if (isPlainIdentifier(name)) out.append(name);
    else appendQuoted(out, name, '"');
}

bool appendSqlString(std::string& out, std::string_view text) {
    if (isAsciiOnly(text) || isValidUtf8(text)) {
        appendQuoted(out, text, '\'');
        return false;
    }
    std::string repaired;
    appendRepairedUtf8(repaired, text, false);
    appendQuoted(out, repaired, '\'');
    return true;
}

void appendDayFirst(std::string& out, const DateTime& d) {
    appendTwo(out, d.day);
    out.push_back('/');
    appendTwo(out, d.month);
    out.push_back('/');
    if (d.year >= 0 && d.year <= 9999) {
        appendTwo(out, d.year / 100);
        appendTwo(out, d.year % 100);
    } else {
        out.append(std::to_string(d.year));  // no four-digit form: what there is
    }
    out.push_back(' ');
    appendTwo(out, d.hour);
    out.push_back(':');
    appendTwo(out, d.minute);
    out.push_back(':');
    appendTwo(out, d.second);
}

void appendToDate(std::string& out, const DateTime& d) {
    out.append("TO_DATE('");
    appendDayFirst(out, d);
    out.append("','dd/mm/yyyy hh24:mi:ss')");
}

SqlLiteral appendSqlLiteral(std::string& out, const FieldValue& v, TypeGroup group) {
    using K = Variant::Kind;
    switch (v.kind) {
        case K::Empty:
        case K::Null: out.append("NULL"); return SqlLiteral::Written;
        case K::String: {
            DateTime d;
            if (group == TypeGroup::Date && readDate(v.text, d)) {
                FieldValue date;
                date.kind = K::Date;
                date.date = d;
                return appendSqlLiteral(out, date, group);
            }
            if (holdsNul(v.text)) return SqlLiteral::HasNul;
            return appendSqlString(out, v.text) ? SqlLiteral::Repaired : SqlLiteral::Written;
        }
        case K::Bytes:
            out.append("X'");
            appendHex(out, v.text);
            out.push_back('\'');
            return SqlLiteral::Written;
        case K::Date:
            if (v.date.isPlain() && group != TypeGroup::Character) {
                appendToDate(out, v.date);
            } else {
                out.push_back('\'');
                v.date.appendText(out);
                out.push_back('\'');
            }
            return SqlLiteral::Written;
        case K::Double:
            // A bare Infinity or NaN is a column name to the database.
            if (!std::isfinite(v.number) || group == TypeGroup::Character) appendQuotedPlain(out, v);
            else v.appendText(out);
            return SqlLiteral::Written;
        case K::Boolean:
        case K::Int32:
        case K::Int64:
            if (group == TypeGroup::Character) appendQuotedPlain(out, v);
            else v.appendText(out);
            return SqlLiteral::Written;
    }
    return SqlLiteral::Written;
}

void appendLoaderDate(std::string& out, const DateTime& d) {
    appendDayFirst(out, d);
    d.appendFraction(out);
    if (d.zone == DateTime::Zone::Utc) {
        out.append(" +00:00");
    } else if (d.hasZone()) {
        out.push_back(' ');
        d.appendZone(out);
    }
}

std::string loaderDateType(bool fractions, bool zones) {
    if (zones) return "TIMESTAMP WITH TIME ZONE\t\"dd/mm/yyyy hh24:mi:ss.ff tzh:tzm\"";
    if (fractions) return "TIMESTAMP\t\"dd/mm/yyyy hh24:mi:ss.ff\"";
    return "DATE\t\"dd/mm/yyyy hh24:mi:ss\"";
}

namespace {

// 1: markup to escape; 2: NUL or a byte that starts (or continues) a
// multi-byte sequence, which needs the UTF-8 check.
constexpr std::array<uint8_t, 256> kHtmlClass = [] {
    std::array<uint8_t, 256> t{};
    t['&'] = t['<'] = t['>'] = t['"'] = 1;
    t[0] = 2;
    for (int c = 0x80; c < 256; ++c) t[static_cast<size_t>(c)] = 2;
    return t;
}();

}  // namespace

bool appendHtmlText(std::string& out, std::string_view text) {
    uint8_t seen = 0;
    for (unsigned char c : text) seen |= kHtmlClass[c];
    if (seen == 0) {  // plain ASCII text, the common case: one copy
        out.append(text);
        return false;
    }
    std::string repairedText;
    bool replaced = false;
    if ((seen & 2) && (holdsNul(text) || !isValidUtf8(text))) {
        replaced = appendRepairedUtf8(repairedText, text, true);
        text = repairedText;
    }
    size_t run = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < text.size(); ++i) {
        if (kHtmlClass[static_cast<unsigned char>(text[i])] != 1) continue;
        const char c = text[i];
        out.append(text.data() + run, i - run);
        out.append(c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&quot;");
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
    return replaced;
}

}  // namespace varnelo
