// The property bag's file: typed lines, escaped text, written whole.
#include "varnelo/bag_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <set>
#include <vector>

#include "platform/atomic_file.h"
#include "writers/file_ops.h"

namespace varnelo {

namespace {

constexpr std::string_view kHeading = "# Varnelo property bag 1";
constexpr std::string_view kEnd = "end";
constexpr size_t kBagFileMax = 64u * 1024 * 1024;

// Length of the valid UTF-8 sequence at s[i], or 0 when there is none.
size_t utf8Length(std::string_view s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((b(i + k) & 0xC0) != 0x80) return 0;
    if (c == 0xE0 && b(i + 1) < 0xA0) return 0;                 // overlong
    if (c == 0xED && b(i + 1) >= 0xA0) return 0;                // surrogate
    if (c == 0xF0 && b(i + 1) < 0x90) return 0;                 // overlong
    if (c == 0xF4 && b(i + 1) >= 0x90) return 0;                // above U+10FFFF
    return n;
}

void appendEscaped(std::string& out, std::string_view s) {
    static const char hex[] = "0123456789ABCDEF";
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            if (size_t n = utf8Length(s, i)) {
                out.append(s.substr(i, n));
                i += n;
                continue;
            }
        }
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20 || c == 0x7F || c >= 0x80) {
                    out += "\\x";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
        ++i;
    }
}

struct Damaged {
    std::string what;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) throw Damaged{"a backslash ends the field"};
        switch (s[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 'x': {
                int hi = i + 1 < s.size() ? hexDigit(s[i + 1]) : -1;
                int lo = i + 2 < s.size() ? hexDigit(s[i + 2]) : -1;
                if (hi < 0 || lo < 0) throw Damaged{"\\x needs two hexadecimal digits"};
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default: throw Damaged{std::string("unknown escape \\") + s[i]};
        }
    }
    return out;
}

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t at = 0;;) {
        size_t tab = line.find('\t', at);
        fields.push_back(line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at));
        if (tab == std::string_view::npos) return fields;
        at = tab + 1;
    }
}

template <class T>
T number(std::string_view text, const char* what) {
    T v{};
    auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        throw Damaged{"\"" + std::string(text.substr(0, 40)) + "\" is no " + what};
    return v;
}

std::string fontFlags(const Font& f) {
    std::string flags;
    if (f.bold) flags += 'b';
    if (f.italic) flags += 'i';
    if (f.underline) flags += 'u';
    if (f.strikethrough) flags += 's';
    return flags.empty() ? "-" : flags;
}

BagValue parseValue(std::string_view type, const std::vector<std::string_view>& f) {
    auto need = [&](size_t n) {
        if (f.size() != n) throw Damaged{"a " + std::string(type) + " line has " + std::to_string(f.size()) +
                                          " fields, not " + std::to_string(n)};
    };
    if (type == "font") {
        need(5);
        auto font = std::make_shared<Font>();
        font->name = unescape(f[2]);
        font->size = number<double>(f[3], "font size");
        if (!std::isfinite(font->size)) throw Damaged{"the font size is no number"};
        if (f[4] != "-") {
            for (char c : f[4]) {
                bool* flag = c == 'b' ? &font->bold : c == 'i' ? &font->italic : c == 'u' ? &font->underline
                             : c == 's' ? &font->strikethrough : nullptr;
                if (!flag) throw Damaged{std::string("unknown font flag '") + c + "'"};
                *flag = true;
            }
        }
        return font;
    }
    if (type == "empty") return need(2), Variant();
    if (type == "null") return need(2), Variant::null();
    need(3);
    std::string_view v = f[2];
    if (type == "bool") {
        if (v != "1" && v != "0") throw Damaged{"a bool is 1 or 0"};
        return Variant(v == "1");
    }
    if (type == "int32") return Variant(number<int32_t>(v, "32-bit integer"));
    if (type == "int64") return Variant(number<int64_t>(v, "64-bit integer"));
    if (type == "double") return Variant(number<double>(v, "number"));
    if (type == "string") return Variant(unescape(v));
    if (type == "date") {
        DateTime d;
        if (!DateTime::parseIso(v, d)) throw Damaged{"\"" + std::string(v.substr(0, 40)) + "\" is no date"};
        return Variant(d);
    }
    if (type == "bytes") {
        if (v.size() % 2) throw Damaged{"bytes need two hexadecimal digits each"};
        Bytes b;
        for (size_t i = 0; i < v.size(); i += 2) {
            int hi = hexDigit(v[i]), lo = hexDigit(v[i + 1]);
            if (hi < 0 || lo < 0) throw Damaged{"bytes need two hexadecimal digits each"};
            b.data += static_cast<char>(hi * 16 + lo);
        }
        return Variant(std::move(b));
    }
    throw Damaged{"unknown type \"" + std::string(type.substr(0, 40)) + "\""};
}

}  // namespace

std::string formatBagFile(const PropertyBag& bag) {
    std::string out(kHeading);
    out += '\n';
    std::set<std::string> done;
    for (const std::string& key : bag.writeOrder()) {
        if (!done.insert(key).second) continue;
        const BagValue value = bag.ReadProperty(key, Variant());
        if (std::holds_alternative<RecordsetPtr>(value)) continue;  // a live source is no setting
        std::string line;
        appendEscaped(line, key);
        if (const auto* font = std::get_if<FontPtr>(&value)) {
            if (!*font) continue;
            line += "\tfont\t";
            appendEscaped(line, (*font)->name);
            line += '\t' + formatDouble((*font)->size) + '\t' + fontFlags(**font);
        } else {
            const Variant& v = std::get<Variant>(value);
            switch (v.kind()) {
                case Variant::Kind::Empty: line += "\tempty"; break;
                case Variant::Kind::Null: line += "\tnull"; break;
                case Variant::Kind::Boolean: line += v.asBool() ? "\tbool\t1" : "\tbool\t0"; break;
                case Variant::Kind::Int32: line += "\tint32\t" + std::to_string(v.asInt32()); break;
                case Variant::Kind::Int64: line += "\tint64\t" + std::to_string(v.asInt64()); break;
                case Variant::Kind::Double: line += "\tdouble\t" + formatDouble(v.asDouble()); break;
                case Variant::Kind::Date: line += "\tdate\t" + v.asDate().toText(); break;
                case Variant::Kind::String:
                    line += "\tstring\t";
                    appendEscaped(line, v.asString());
                    break;
                case Variant::Kind::Bytes:
                    line += "\tbytes\t";
                    appendHex(line, v.asBytes().data);
                    break;
            }
        }
        out += line + '\n';
    }
    out += kEnd;
    out += '\n';
    return out;
}

PropertyBag parseBagFile(std::string_view text, const std::string& fileName) {
    PropertyBag bag;
    size_t lineNo = 0;
    bool ended = false;
    try {
        size_t at = 0;
        while (at < text.size()) {
            size_t lf = text.find('\n', at);
            if (lf == std::string_view::npos) throw Damaged{"the file ends inside a line (truncated?)"};
            std::string_view line = text.substr(at, lf - at);
            at = lf + 1;
            ++lineNo;
            if (ended) throw Damaged{"text after the \"end\" line"};
            if (lineNo == 1) {
                if (line != kHeading) throw Damaged{"not a Varnelo property bag (no \"" + std::string(kHeading) + "\" heading)"};
                continue;
            }
            if (line == kEnd) {
                ended = true;
                continue;
            }
            if (line.empty() || line.front() == '#') continue;
            const std::vector<std::string_view> fields = splitTabs(line);
            if (fields.size() < 2) throw Damaged{"a key needs a type"};
            std::string key = unescape(fields[0]);
            if (key.empty()) throw Damaged{"an empty key"};
            bag.WriteProperty(key, parseValue(fields[1], fields), Variant());
        }
        if (lineNo == 0) throw Damaged{"the file is empty"};
        if (!ended) {
            lineNo = 0;
            throw Damaged{"no \"end\" line: the file is incomplete"};
        }
    } catch (const Damaged& d) {
        std::string where = fileName + (lineNo ? ", line " + std::to_string(lineNo) : std::string());
        throw Error(err::kTypeMismatch, "Varnelo",
                    standardErrorText(err::kTypeMismatch) + " (property bag " + where + ": " + d.what + ")");
    }
    return bag;
}

PropertyBag readBagFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (e == ENOENT)  // the file, not a folder on the way, is what is missing
            throw Error(err::kFileNotFound, "Varnelo", standardErrorText(err::kFileNotFound) + " (opening " + path + ")", e);
        throw fileError(e, "opening " + path);
    }
    std::string text;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) err = errno;
    else if (!S_ISREG(st.st_mode)) err = EISDIR;
    else if (static_cast<size_t>(st.st_size) > kBagFileMax) err = EFBIG;
    char buf[65536];
    while (!err) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) err = errno;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > kBagFileMax) err = EFBIG;
    }
    ::close(fd);
    if (err == EFBIG)
        throw Error(err::kTypeMismatch, "Varnelo",
                    standardErrorText(err::kTypeMismatch) + " (property bag " + path + ": larger than " +
                        std::to_string(kBagFileMax >> 20) + " MiB)");
    if (err) throw fileError(err, "reading " + path);
    return parseBagFile(text, path);
}

void writeBagFile(const PropertyBag& bag, const std::string& path) {
    if (int err = platform::replaceFile(path, formatBagFile(bag), 0600)) throw fileError(err, "writing " + path);
}

}  // namespace varnelo
