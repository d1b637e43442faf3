#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/atomic_file.h"

namespace varnelo::platform {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The section a line opens, or false when it opens none.
bool sectionOf(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return false;
    auto close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = trim(line.substr(1, close - 1));
    return true;
}

// The key and raw value of a line, or false for comments and other lines.
bool entryOf(std::string_view line, std::string_view& key, std::string_view& value) {
    std::string_view t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#' || t.front() == '[') return false;
    auto eq = t.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(t.substr(0, eq));
    value = t.substr(eq + 1);
    return true;
}

// Cut to at most kProfileValueMax bytes, backing off from the middle of a
// UTF-8 sequence.
std::string cut(std::string_view v) {
    if (v.size() <= kProfileValueMax) return std::string(v);
    size_t n = kProfileValueMax;
    size_t start = n;
    while (start > 0 && (static_cast<unsigned char>(v[start]) & 0xC0) == 0x80) --start;
    // Only drop a sequence that really was split and is short enough to be one.
    if (start < n && n - start < 4 && (static_cast<unsigned char>(v[start]) & 0xC0) == 0xC0) n = start;
    return std::string(v.substr(0, n));
}

std::string cleanValue(std::string_view raw) {
    std::string_view v = trim(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return cut(v);
}

bool holdsLineBreak(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

bool validName(std::string_view s, bool isSection) {
    if (s.empty() || holdsLineBreak(s) || trim(s).size() != s.size()) return false;
    if (isSection) return s.find(']') == s.npos;
    return s.find('=') == s.npos && s.front() != '[' && s.front() != ';' && s.front() != '#';
}

}  // namespace

ProfileFile ProfileFile::parse(std::string_view text) {
    ProfileFile f;
    if (text.empty()) return f;
    size_t at = 0;
    while (at < text.size()) {
        size_t lf = text.find('\n', at);
        if (lf == std::string_view::npos) {
            f.lines_.emplace_back(text.substr(at));
            f.finalEol_ = false;
            break;
        }
        f.lines_.emplace_back(text.substr(at, lf - at));
        at = lf + 1;
    }
    f.crlf_ = !f.lines_.empty() && !f.lines_.front().empty() && f.lines_.front().back() == '\r';
    return f;
}

ProfileFile ProfileFile::load(const std::string& path, int* error) {
    if (error) *error = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error && errno != ENOENT) *error = errno;
        return {};
    }
    std::string text;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) err = errno;
    else if (!S_ISREG(st.st_mode)) err = EINVAL;  // a FIFO or device is no settings file
    else if (static_cast<size_t>(st.st_size) > kProfileFileMax) err = EFBIG;
    else {
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) { err = errno; break; }
            if (n == 0) break;
            text.append(buf, static_cast<size_t>(n));
            if (text.size() > kProfileFileMax) { err = EFBIG; break; }
        }
    }
    ::close(fd);
    if (err) {
        if (error) *error = err;
        return {};
    }
    return parse(text);
}

std::string ProfileFile::get(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    // Only the first section of the name counts, as for the writes.
    bool inSection = false;
    for (const std::string& line : lines_) {
        std::string_view name, k, v;
        if (sectionOf(line, name)) {
            if (inSection) break;
            inSection = sameName(name, section);
        } else if (inSection && entryOf(line, k, v) && sameName(k, key)) {
            return cleanValue(v);
        }
    }
    return cut(defaultValue);
}

bool ProfileFile::set(std::string_view section, std::string_view key, std::string_view value) {
    if (holdsLineBreak(value) || !validName(section, true) || !validName(key, false)) return false;
    const std::string cr = crlf_ ? "\r" : "";
    const std::string newLine = std::string(key) + "=" + std::string(value) + cr;
    bool inSection = false;
    size_t insertAt = std::string::npos;  // after the section's last non-blank line
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name, k, v;
        if (sectionOf(lines_[i], name)) {
            if (inSection) break;  // the key goes into the first such section
            inSection = sameName(name, section);
            if (inSection) insertAt = i + 1;
        } else if (inSection) {
            if (entryOf(lines_[i], k, v) && sameName(k, key)) {
                lines_[i] = newLine;
                return true;
            }
            if (!trim(lines_[i]).empty()) insertAt = i + 1;
        }
    }
    if (insertAt != std::string::npos) {
        if (insertAt == lines_.size()) finalEol_ = true;  // a new last line ends like the others
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
        return true;
    }
    lines_.push_back("[" + std::string(section) + "]" + cr);
    lines_.push_back(newLine);
    finalEol_ = true;
    return true;
}

std::string ProfileFile::text() const {
    std::string out;
    for (size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalEol_) out += '\n';
    }
    return out;
}

std::string getPrivateProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                                    const std::string& path) {
    return ProfileFile::load(path).get(section, key, defaultValue);
}

bool writePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path) {
    std::vector<std::string> refused;
    return updateProfile(path, section, {{std::string(key), std::string(value)}}, &refused) == 0 && refused.empty();
}

int updateProfile(const std::string& path, std::string_view section,
                  const std::vector<std::pair<std::string, std::string>>& entries, std::vector<std::string>* refused) {
    if (path.empty()) return ENOENT;
    auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (int err = makeFolders(folder, 0700)) return err;
    FolderLock lock(folder);
    int readError = 0;
    ProfileFile file = ProfileFile::load(path, &readError);
    if (readError) return readError;
    const std::string before = file.text();
    for (const auto& [key, value] : entries)
        if (!file.set(section, key, value) && refused) refused->push_back(key);
    const std::string after = file.text();
    if (after == before && ::access(path.c_str(), F_OK) == 0) return 0;
    return replaceFile(path, after);
}

}  // namespace varnelo::platform
