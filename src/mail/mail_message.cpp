// The mail's text: addresses, encoded headers, body and attachment encodings.
#include "mail/mail_message.h"

#include <array>
#include <cstdio>

#include "varnelo/error.h"

namespace varnelo::mail {

namespace {

constexpr std::string_view kCrlf = "\r\n";
constexpr size_t kFoldWidth = 78;
constexpr size_t kHardLineLimit = 998;
constexpr size_t kQpWidth = 76;
// 39 bytes make 52 base64 characters, a 64-character encoded word: one fits
// beside "Subject: " within 78.
constexpr size_t kEncodedWordBytes = 39;

[[noreturn]] void refuse(const std::string& why) { throw Error(err::kInvalidPropertyValue, "SmtpMailer", why); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool endsWithCrlf(std::string_view s) { return s.size() >= 2 && s.substr(s.size() - 2) == kCrlf; }

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool isPlainAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

// The display name of `Name <box>` with one pair of quotes and their
// backslash escapes removed.
std::string unquote(std::string_view name) {
    if (name.size() < 2 || name.front() != '"' || name.back() != '"') return std::string(name);
    std::string out;
    for (size_t i = 1; i + 1 < name.size(); ++i) {
        if (name[i] == '\\' && i + 2 < name.size()) ++i;
        out += name[i];
    }
    return out;
}

Address parseOne(std::string_view entry, std::string_view field) {
    Address a;
    const size_t open = entry.rfind('<');
    if (open != std::string_view::npos && entry.back() == '>') {
        a.name = unquote(trim(entry.substr(0, open)));
        a.mailbox = std::string(trim(entry.substr(open + 1, entry.size() - open - 2)));
    } else {
        a.mailbox = std::string(entry);
    }
    const auto bad = [](unsigned char c) {
        return c <= 0x20 || c == 0x7f || c == '<' || c == '>' || c == '"' || c == ',' || c == ';';
    };
    // 254: the longest address a server has to take.
    bool ok = !a.mailbox.empty() && a.mailbox.size() <= 254;
    for (unsigned char c : a.mailbox) ok = ok && !bad(c);
    if (!ok) refuse("The " + std::string(field) + " address \"" + std::string(entry) + "\" is not a mail address.");
    return a;
}

std::string base64Of(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                           uint8_t(bytes[i + 2]);
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (const size_t rest = bytes.size() - i; rest > 0) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out += kAlphabet[v >> 18];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

// Length of the UTF-8 sequence that starts with `lead` (1 for a stray byte,
// so that text that is not UTF-8 is still cut somewhere).
size_t utf8Length(unsigned char lead) {
    if (lead >= 0xf0 && lead < 0xf8) return 4;
    if (lead >= 0xe0) return lead < 0xf0 ? 3 : 1;
    if (lead >= 0xc0) return 2;
    return 1;
}

std::string encodedWords(std::string_view text) {
    std::string out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size()) {
            const size_t len = std::min(utf8Length(static_cast<unsigned char>(text[end])), text.size() - end);
            if (end + len - at > kEncodedWordBytes) break;
            end += len;
        }
        if (!out.empty()) out += ' ';
        out += "=?UTF-8?B?" + base64Of(text.substr(at, end - at)) + "?=";
        at = end;
    }
    return out;
}

// Printable ASCII that cannot be taken for an encoded word, in words short
// enough to fold: a longer word cannot be folded, encoded words can.
bool fitsAsPlainText(std::string_view text) {
    if (!isPlainAscii(text) || text.find("=?") != std::string_view::npos) return false;
    size_t word = 0;
    for (char c : text) {
        word = c == ' ' ? 0 : word + 1;
        if (word > kFoldWidth - 10) return false;
    }
    return true;
}

// Characters that make a display name need quotes (RFC 5322 specials).
bool needsQuotes(std::string_view name) { return name.find_first_of("()<>[]:;@\\,.\"") != std::string_view::npos; }

std::string percentEncoded(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
            c == '_') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// `key="value"` for a plain name, RFC 2231 `key*=UTF-8''...` otherwise.
std::string fileNameParameter(std::string_view key, std::string_view name) {
    if (isPlainAscii(name) && name.find_first_of("\"\\") == std::string_view::npos && name.size() < 200)
        return std::string(key) + "=\"" + std::string(name) + "\"";
    return std::string(key) + "*=UTF-8''" + percentEncoded(name);
}

std::string contentTypeOf(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kTypes{{
        {".csv", "text/csv"},
        {".txt", "text/plain"},
        {".sql", "text/plain"},
        {".ctl", "text/plain"},
        {".htm", "text/html"},
        {".html", "text/html"},
        {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {".xls", "application/vnd.ms-excel"},
        {".zip", "application/zip"},
    }};
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) {
        std::string ext(name.substr(dot));
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const auto& [e, type] : kTypes)
            if (ext == e) return std::string(type);
    }
    return "application/octet-stream";
}

// Text body in its transfer encoding: the headers that say so and the
// encoded text, which ends in CR LF only when the text does.
std::pair<std::string, std::string> textPart(std::string_view text, bool html) {
    const std::string body = normalizeLineEnds(text);
    std::string headers =
        headerLine("Content-Type", std::string(html ? "text/html" : "text/plain") + "; charset=UTF-8");
    if (fitsSevenBit(body)) {
        headers += headerLine("Content-Transfer-Encoding", "7bit");
        return {headers, body};
    }
    headers += headerLine("Content-Transfer-Encoding", "quoted-printable");
    return {headers, quotedPrintable(body)};
}

}  // namespace

std::vector<Address> parseAddressList(std::string_view text, std::string_view separator, std::string_view field) {
    if (hasLineBreak(text))
        refuse("The " + std::string(field) + " field holds a line break, which could add headers to the mail.");
    std::vector<Address> out;
    const auto take = [&](size_t from, size_t to) {
        const std::string_view entry = trim(text.substr(from, to - from));
        if (!entry.empty()) out.push_back(parseOne(entry, field));
    };
    bool quoted = false;
    int angle = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '\\') ++i;
            else if (c == '"') quoted = false;
            continue;
        }
        if (c == '"') quoted = true;
        else if (c == '<') ++angle;
        else if (c == '>' && angle > 0) --angle;
        else if (angle == 0 && (c == ',' || (!separator.empty() && text.substr(i, separator.size()) == separator))) {
            take(start, i);
            start = i + (c == ',' ? 1 : separator.size());
            i = start - 1;
        }
    }
    take(start, text.size());
    return out;
}

std::string formatAddress(const Address& address) {
    if (address.name.empty()) return address.mailbox;
    std::string name;
    if (!fitsAsPlainText(address.name)) {
        name = encodedWords(address.name);
    } else if (needsQuotes(address.name)) {
        name = "\"";
        for (char c : address.name) {
            if (c == '"' || c == '\\') name += '\\';
            name += c;
        }
        name += '"';
    } else {
        name = address.name;
    }
    return name + " <" + address.mailbox + ">";
}

std::string encodeHeaderText(std::string_view text) {
    return fitsAsPlainText(text) ? std::string(text) : encodedWords(text);
}

std::string headerLine(std::string_view name, std::string_view value) {
    std::string out(name);
    out += ':';
    size_t lineLength = out.size();
    size_t at = 0;
    while (at < value.size()) {
        size_t end = value.find(' ', at);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view word = value.substr(at, end - at);
        if (!word.empty()) {
            if (lineLength > name.size() + 1 && lineLength + 1 + word.size() > kFoldWidth) {
                out += kCrlf;
                lineLength = 0;
            }
            out += ' ';
            out += word;
            lineLength += 1 + word.size();
        }
        at = end + 1;
    }
    out += kCrlf;
    return out;
}

std::string base64Lines(std::string_view bytes) {
    const std::string flat = base64Of(bytes);
    std::string out;
    out.reserve(flat.size() + flat.size() / 76 * 2 + 2);
    for (size_t at = 0; at < flat.size(); at += 76) {
        out.append(flat, at, 76);
        out += kCrlf;
    }
    return out;
}

std::string normalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += kCrlf;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (text[i] == '\n') {
            out += kCrlf;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string quotedPrintable(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    size_t lineStart = 0;
    while (lineStart <= text.size()) {
        size_t lineEnd = text.find(kCrlf, lineStart);
        const bool last = lineEnd == std::string_view::npos;
        if (last) lineEnd = text.size();
        size_t width = 0;
        for (size_t i = lineStart; i < lineEnd; ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            const bool atEnd = i + 1 == lineEnd;
            std::string piece;
            if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atEnd)) {
                piece = static_cast<char>(c);
            } else {
                piece = {'=', kHex[c >> 4], kHex[c & 15]};
            }
            // Room for a soft break "=" unless this piece ends the line.
            const size_t limit = atEnd ? kQpWidth : kQpWidth - 1;
            if (width + piece.size() > limit) {
                out += "=\r\n";
                width = 0;
            }
            out += piece;
            width += piece.size();
        }
        if (last) break;
        out += kCrlf;
        lineStart = lineEnd + 2;
    }
    return out;
}

bool fitsSevenBit(std::string_view text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            width = 0;
            ++i;
            continue;
        }
        if (c >= 0x80 || c == 0 || c == '\r' || c == '\n' || (c < 0x20 && c != '\t') || c == 0x7f) return false;
        if (++width > kHardLineLimit) return false;
    }
    return true;
}

std::string uuencodeBlock(std::string_view bytes, std::string_view name) {
    const auto uuChar = [](unsigned v) { return v == 0 ? '`' : static_cast<char>(0x20 + v); };
    std::string out = "begin 644 ";
    for (unsigned char c : name) out += (c < 0x20 || c == 0x7f) ? '_' : static_cast<char>(c);
    out += kCrlf;
    for (size_t at = 0; at < bytes.size(); at += 45) {
        const size_t n = std::min<size_t>(45, bytes.size() - at);
        out += uuChar(static_cast<unsigned>(n));
        for (size_t i = 0; i < n; i += 3) {
            uint32_t v = 0;
            for (size_t k = 0; k < 3; ++k)
                v = (v << 8) | (i + k < n ? static_cast<uint8_t>(bytes[at + i + k]) : 0u);
            out += uuChar(v >> 18);
            out += uuChar((v >> 12) & 63);
            out += uuChar((v >> 6) & 63);
            out += uuChar(v & 63);
        }
        out += kCrlf;
    }
    out += "`\r\nend\r\n";
    return out;
}

std::string mailDate(int year, int month, int day, int weekday, int hour, int minute, int second,
                     long utcOffsetSeconds) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offsetMinutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[((weekday % 7) + 7) % 7], day,
                  kMonths[((month - 1) % 12 + 12) % 12], year, hour, minute, second, utcOffsetSeconds < 0 ? '-' : '+',
                  offsetMinutes / 60, offsetMinutes % 60);
    return buf;
}

std::string buildMessage(const MessageContent& c) {
    if (hasLineBreak(c.subject)) refuse("The subject holds a line break, which could add headers to the mail.");
    if (hasLineBreak(c.from.name) || hasLineBreak(c.from.mailbox))
        refuse("The sender's name or address holds a line break, which could add headers to the mail.");

    const auto joined = [](const std::vector<Address>& list) {
        std::string s;
        for (const Address& a : list) s += (s.empty() ? "" : ", ") + formatAddress(a);
        return s;
    };
    static constexpr std::array<std::string_view, 3> kXPriority{"1 (Highest)", "3 (Normal)", "5 (Lowest)"};
    static constexpr std::array<std::string_view, 3> kImportance{"high", "normal", "low"};
    const size_t level = c.priority == 1 ? 0 : c.priority == 5 ? 2 : 1;

    std::string m;
    m += headerLine("From", formatAddress(c.from));
    if (!c.to.empty()) m += headerLine("To", joined(c.to));
    if (!c.cc.empty()) m += headerLine("Cc", joined(c.cc));
    m += headerLine("Subject", encodeHeaderText(c.subject));
    m += headerLine("Date", c.date);
    m += headerLine("Message-ID", "<" + c.messageId + ">");
    m += headerLine("MIME-Version", "1.0");
    m += headerLine("X-Priority", kXPriority[level]);
    m += headerLine("Importance", kImportance[level]);
    if (c.receipt) m += headerLine("Disposition-Notification-To", formatAddress(c.from));

    if (!c.hasAttachment || c.encoding == 1) {
        std::string text = c.body;
        if (c.hasAttachment) {
            text = normalizeLineEnds(text);
            if (!text.empty() && !endsWithCrlf(text)) text += kCrlf;
            text += uuencodeBlock(c.attachmentBytes, c.attachmentName);
        }
        const auto [headers, encoded] = textPart(text, c.html);
        return m + headers + "\r\n" + encoded + (endsWithCrlf(encoded) ? "" : "\r\n");
    }

    const auto [textHeaders, textBody] = textPart(c.body, c.html);
    const std::string content = base64Lines(c.attachmentBytes);
    std::string boundary = c.boundary;
    // Base64 holds no "-" and 7bit text rarely holds the boundary; when it
    // does, the boundary grows until it no longer occurs.
    while (textBody.find("--" + boundary) != std::string::npos) boundary += "_";

    m += "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n";
    m += "\r\nThis is a multi-part message in MIME format.\r\n";
    // The CR LF before a delimiter belongs to the delimiter, so the text
    // comes back exactly, with or without a line end of its own.
    m += "--" + boundary + "\r\n" + textHeaders + "\r\n" + textBody;
    m += "\r\n--" + boundary + "\r\n";
    m += "Content-Type: " + contentTypeOf(c.attachmentName) + ";\r\n " + fileNameParameter("name", c.attachmentName) +
         "\r\n";
    m += headerLine("Content-Transfer-Encoding", "base64");
    m += "Content-Disposition: attachment;\r\n " + fileNameParameter("filename", c.attachmentName) + "\r\n";
    m += "\r\n" + content;
    m += "--" + boundary + "--\r\n";
    return m;
}

}  // namespace varnelo::mail
