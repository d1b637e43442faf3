// The classic profile file ("key=value" lines under "[section]" headers),
// read and written with the semantics the settings file has always had:
//
//  - Reading: the file, the section or the key missing gives the default.
//    Section and key names match without regard to ASCII case; the first
//    section of a name and the first matching key in it win. Blanks (spaces and tabs) around the value are
//    removed, then one pair of enclosing quotes ('...' or "...") is
//    stripped, then the value is cut to kProfileValueMax bytes (never
//    inside a UTF-8 character). Lines starting with ';' or '#' are
//    comments. Bytes that are not UTF-8 are passed through as they are.
//  - Writing a key changes its line in place ("key=value"), or adds the
//    line at the end of its section, or adds the section at the end of the
//    file; every other line, section and comment is kept as it was, and so
//    are the file's line ends (CR LF or LF).
//  - The file is replaced whole (platform/atomic_file.h): a reader sees the
//    old file or the new one, and a crash mid-write leaves the old one.
//    Writers in different processes take turns (a lock on the folder), so
//    two controls ending at once leave one whole file: the last one's.
//  - The format has no escapes, so a value holding CR, LF or NUL would end
//    its line and plant whatever follows as a key of its own: such a value
//    is refused and its key keeps the line it had. A key or section name
//    that could not be read back as one ('=', '[', ']', line breaks,
//    surrounding blanks, empty) is refused the same way.
//
// None of this throws on a file's content: damaged, truncated or binary
// files read as far as they make sense, and the rest gives defaults.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnelo::platform {

// The longest value a read returns, in bytes: a 255-character buffer with
// its terminating zero.
inline constexpr size_t kProfileValueMax = 254;
// A file larger than this is not read (its keys give their defaults) and
// not rewritten: settings files are a few kilobytes.
inline constexpr size_t kProfileFileMax = 16u * 1024 * 1024;

class ProfileFile {
public:
    ProfileFile() = default;
    // The file's text as it is; a file that is missing, unreadable, not a
    // regular file or too large is empty. `error`, when given, receives the
    // errno of a failure other than a missing file (0 otherwise).
    static ProfileFile load(const std::string& path, int* error = nullptr);
    static ProfileFile parse(std::string_view text);

    // The value under [section] key, or `defaultValue` (cut the same way).
    std::string get(std::string_view section, std::string_view key, std::string_view defaultValue) const;
    // Sets [section] key to value; false, and nothing changed, for a value,
    // key or section the format cannot hold (see above).
    bool set(std::string_view section, std::string_view key, std::string_view value);

    // The file's text with the changes made.
    std::string text() const;

private:
    std::vector<std::string> lines_;  // without their LF; a CR before it is kept
    bool crlf_ = false;               // the file's line ends, for new lines
    bool finalEol_ = true;            // the last line had a line end
};

// One key read from the file at `path`, as above.
std::string getPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, const std::string& path);

// One key written; false when it was not (see updateProfile).
bool writePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& path);

// Sets several keys of one section in one replacement of the file, in the
// order given, creating the file and its missing folders (mode 0700, as a
// configuration folder) when needed. Entries the format cannot hold are
// left out (their keys keep their lines) and listed in `refused`. Returns 0,
// or the errno of what failed; then the file is as it was. A file that
// exists but cannot be read is not replaced (its other sections would be
// lost).
int updateProfile(const std::string& path, std::string_view section,
                  const std::vector<std::pair<std::string, std::string>>& entries,
                  std::vector<std::string>* refused = nullptr);

}  // namespace varnelo::platform
