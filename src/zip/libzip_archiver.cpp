// LibzipArchiver: names to entries, entries to a zip archive through libzip.
#include "zip/libzip_archiver.h"

#include "zip/entry_packer.h"

#include <dirent.h>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <unordered_set>
#include <utility>
#include <vector>

namespace varnelo {

namespace {

namespace fs = std::filesystem;

// The print callback takes at most 4097 bytes, the NUL included.
constexpr size_t kPrintChunk = 4096;

class Printer {
public:
    explicit Printer(ZipPrintFunction print) : print_(print) {}

    void say(const std::string& text) {
        if (!print_) return;
        for (size_t at = 0; at < text.size(); at += kPrintChunk) {
            const std::string piece = text.substr(at, kPrintChunk);
            print_(piece.c_str(), static_cast<unsigned long>(piece.size()));
        }
    }
    // An empty message: adds nothing, lets the host's loop run.
    void pump() {
        if (print_) print_("", 0);
    }

private:
    ZipPrintFunction print_;
};

struct Item {
    std::string entry;  // name in the archive; folders end in "/"
    std::string path;   // where it is read from
    bool dir = false;
    mode_t mode = 0;
    time_t mtime = 0;
    uint64_t size = 0;
};

std::string withSlashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// `p` made absolute against `base` and cleared of ".", ".." and doubled or
// trailing separators, without looking at the disk.
std::string normalPath(const std::string& p, const std::string& base) {
    fs::path x(p);
    if (x.is_relative()) x = fs::path(base) / x;
    std::string s = x.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string currentFolder() {
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? std::string("/") : cwd.string();
}

// Collects the items the names stand for.
class Scan {
public:
    Scan(Printer& out, std::string root, bool recurse, const std::string& archivePath)
        : out_(out), root_(std::move(root)), recurse_(recurse) {
        struct stat st;
        if (::stat(archivePath.c_str(), &st) == 0) {
            archiveDev_ = st.st_dev;
            archiveIno_ = st.st_ino;
            archiveExists_ = true;
        }
    }

    void name(const std::string& given) {
        const std::string s = withSlashes(given);
        bool matched = false;
        if (!s.empty()) {
            const std::string full = normalPath(s, root_);
            if (s.find_first_of("*?[") != std::string::npos) {
                glob_t g{};
                if (::glob(full.c_str(), 0, nullptr, &g) == 0) {
                    for (size_t i = 0; i < g.gl_pathc; ++i) {
                        matched = add(normalPath(g.gl_pathv[i], root_), true) || matched;
                    }
                }
                ::globfree(&g);
            } else {
                matched = add(full, true);
            }
        }
        if (!matched) out_.say("zip warning: name not matched: " + given + "\n");
    }

    std::vector<Item>& items() { return items_; }
    int unreadable() const { return unreadable_; }

private:
    std::string entryFor(const std::string& path) const {
        if (root_ == "/") return path.substr(1);
        if (path == root_) return "";
        if (path.size() > root_.size() && path.compare(0, root_.size(), root_) == 0 &&
            path[root_.size()] == '/') {
            return path.substr(root_.size() + 1);
        }
        return path.substr(1);
    }

    void cannotRead(const std::string& path, const std::string& why) {
        out_.say("zip warning: could not open for reading: " + path + " (" + why + ")\n");
        ++unreadable_;
    }

    void push(Item item) {
        if (seen_.insert(item.entry).second) items_.push_back(std::move(item));
    }

    // False when nothing is there under that name.
    bool add(const std::string& path, bool named) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            const int e = errno;
            struct stat lst;
            if (::lstat(path.c_str(), &lst) == 0) {
                // A link to nothing, or one we may not follow: it is there,
                // but cannot be read.
                cannotRead(path, std::strerror(e));
                return true;
            }
            if (!named) cannotRead(path, std::strerror(e));  // vanished while we looked
            return !named;
        }
        if (archiveExists_ && st.st_dev == archiveDev_ && st.st_ino == archiveIno_) return true;

        Item item;
        item.path = path;
        item.mode = st.st_mode;
        item.mtime = st.st_mtime;
        item.entry = entryFor(path);
        if (S_ISDIR(st.st_mode)) {
            item.dir = true;
            if (!item.entry.empty()) {
                item.entry += '/';
                push(item);
            }
            if (recurse_) folder(path, st);
            return true;
        }
        if (!S_ISREG(st.st_mode)) {
            cannotRead(path, "not a regular file");
            return true;
        }
        // Opened now, so that an unreadable file is told before anything is
        // written rather than failing the archive half-way.
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            cannotRead(path, std::strerror(errno));
            return true;
        }
        ::close(fd);
        if (item.entry.empty()) item.entry = fs::path(path).filename().string();
        item.size = static_cast<uint64_t>(st.st_size);
        push(std::move(item));
        return true;
    }

    void folder(const std::string& path, const struct stat& st) {
        // A link back to a folder being walked would never end.
        const auto id = std::make_pair(st.st_dev, st.st_ino);
        if (!walking_.insert(id).second) return;
        std::vector<std::string> children;
        if (DIR* d = ::opendir(path.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                    children.emplace_back(e->d_name);
                }
            }
            ::closedir(d);
        } else {
            cannotRead(path, std::strerror(errno));
        }
        std::sort(children.begin(), children.end());
        for (const auto& c : children) add(path == "/" ? "/" + c : path + "/" + c, false);
        walking_.erase(id);
    }

    Printer& out_;
    std::string root_;
    bool recurse_;
    bool archiveExists_ = false;
    dev_t archiveDev_ = 0;
    ino_t archiveIno_ = 0;
    std::vector<Item> items_;
    std::unordered_set<std::string> seen_;
    std::set<std::pair<dev_t, ino_t>> walking_;
    int unreadable_ = 0;
};

// What a run shares with its sources and the progress callback.
struct RunState {
    Printer* out = nullptr;
    EntryPacker* packer = nullptr;
    std::string readFailure;  // the first file that failed while read
    std::chrono::steady_clock::time_point lastPump{};

    // Lets the host's loop run, at most every 20 ms.
    void pump() {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPump >= std::chrono::milliseconds(20)) {
            lastPump = now;
            out->pump();
        }
    }
};

// What became of an entry's file: for libzip's header, and the message line.
struct Packed {
    bool stored = false;
    uint64_t size = 0;
    uint64_t packedSize = 0;
    uint32_t crc = 0;
    uint16_t flagBits = 0;
};

// A file as libzip reads it: already deflated or stored by the run's packer,
// so libzip copies the bytes and takes the method, sizes and CRC from STAT.
// Our own reads also let the message name the file that failed.
struct FileSource {
    std::string path;
    uint64_t size = 0;
    time_t mtime = 0;
    RunState* run = nullptr;
    Packed* result = nullptr;
    int fd = -1;
    bool packed = false;
    zip_error_t error;

    zip_int64_t fail(int zipCode, int sysErr, const std::string& why) {
        zip_error_set(&error, zipCode, sysErr);
        if (run->readFailure.empty()) run->readFailure = path + ": " + why;
        return -1;
    }
};

zip_int64_t fileSourceCallback(void* userdata, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* s = static_cast<FileSource*>(userdata);
    EntryPacker& packer = *s->run->packer;
    switch (cmd) {
        case ZIP_SOURCE_OPEN:
            s->fd = ::open(s->path.c_str(), O_RDONLY | O_CLOEXEC);
            if (s->fd < 0) return s->fail(ZIP_ER_OPEN, errno, std::strerror(errno));
            ::posix_fadvise(s->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
            if (!packer.pack(s->fd, [run = s->run] { run->pump(); })) {
                return s->fail(ZIP_ER_READ, EIO, packer.failure());
            }
            // Kept here: the packer moves on to the next file.
            *s->result = {packer.stored(), packer.size(), packer.packedSize(), packer.crc(), packer.flagBits()};
            s->packed = true;
            return 0;
        case ZIP_SOURCE_READ: {
            const int64_t n = packer.read(data, static_cast<size_t>(len));
            return n >= 0 ? n : s->fail(ZIP_ER_READ, EIO, packer.failure());
        }
        case ZIP_SOURCE_CLOSE:
            if (s->fd >= 0) ::close(s->fd);
            s->fd = -1;
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->mtime = s->mtime;
            st->valid |= ZIP_STAT_MTIME | ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD;
            if (s->packed) {
                // Read: what the entry really holds.
                st->size = s->result->size;
                st->comp_size = s->result->packedSize;
                st->comp_method = s->result->stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
                st->crc = s->result->crc;
                st->valid |= ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC;
            } else {
                // Not yet read: deflated data of about this size, so that
                // libzip neither compresses it again nor computes a CRC.
                st->size = s->size;
                st->comp_method = ZIP_CM_DEFLATE;
            }
            return sizeof(*st);
        }
        case ZIP_SOURCE_GET_FILE_ATTRIBUTES: {
            if (len < sizeof(zip_file_attributes_t)) {
                zip_error_set(&s->error, ZIP_ER_INVAL, 0);
                return -1;
            }
            auto* attributes = static_cast<zip_file_attributes_t*>(data);
            attributes->valid |= ZIP_FILE_ATTRIBUTES_GENERAL_PURPOSE_BIT_FLAGS;
            attributes->general_purpose_bit_mask = 0x0006;  // the compression option
            attributes->general_purpose_bit_flags = s->packed ? s->result->flagBits : 0;
            return sizeof(*attributes);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&s->error, data, len);
        case ZIP_SOURCE_FREE:
            if (s->fd >= 0) ::close(s->fd);
            zip_error_fini(&s->error);
            delete s;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                                  ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                                  ZIP_SOURCE_GET_FILE_ATTRIBUTES, -1);
        default:
            zip_error_set(&s->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

void onProgress(zip_t*, double, void* ud) { static_cast<RunState*>(ud)->pump(); }

std::string zipErrorText(int code) {
    zip_error_t e;
    zip_error_init_with_code(&e, code);
    std::string text = zip_error_strerror(&e);
    zip_error_fini(&e);
    return text;
}

// "(deflated 63%)" in zip's rounding, the share saved to the nearest unit;
// "(stored 0%)" for what is kept as it is (folders and empty files too).
std::string ratioText(const Packed& p) {
    if (p.stored || p.size == 0) return "(stored 0%)";
    const double saved =
        (static_cast<double>(p.size) - static_cast<double>(p.packedSize)) * 100.0 / static_cast<double>(p.size);
    return "(deflated " + std::to_string(std::lround(saved)) + "%)";
}

struct Written {
    std::string entry;
    bool replaced = false;
    Packed packed;  // filled while libzip writes; folders stay as they are
};

}  // namespace

int LibzipArchiver::init(const ZipUserFunctions& callbacks) {
    callbacks_ = callbacks;
    return 0;
}

int LibzipArchiver::setOptions(const ZipOptions& options) {
    options_ = options;
    return 0;
}

int LibzipArchiver::archive(int count, const std::string& zipName, const ZipNameList& names) {
    // Copies: host code run by the message pump may set up this archiver
    // for another run before this one is over.
    const ZipOptions opts = options_;
    Printer out(callbacks_.print);
    count = std::clamp(count, 0, kZipNameListSize);

    const std::string cwd = currentFolder();
    const std::string rootText = withSlashes(opts.rootDir);
    const std::string root = rootText.empty() ? cwd : normalPath(rootText, cwd);
    const std::string archiveName = withSlashes(zipName);
    if (archiveName.empty()) {
        out.say("zip error: Could not create output file (no archive name given)\n");
        return kArchiveFailed;
    }
    const std::string archivePath = normalPath(archiveName, cwd);

    Scan scan(out, root, opts.recurse != 0, archivePath);
    for (int i = 0; i < count; ++i) scan.name(names[static_cast<size_t>(i)]);
    const std::vector<Item>& items = scan.items();
    if (items.empty()) {
        out.say("zip error: Nothing to do! (" + zipName + ")\n");
        return scan.unreadable() ? kCannotRead : kNothingToDo;
    }

    const int level = opts.level >= 1 && opts.level <= 9 ? opts.level : kDefaultLevel;
    // The packer's temporary file, when a file needs one, goes beside the
    // archive, where libzip puts its own.
    EntryPacker packer(level, fs::path(archivePath).parent_path().string());

    const bool update = opts.update != 0;
    int zerr = 0;
    zip_t* za = zip_open(archivePath.c_str(), ZIP_CREATE | (update ? 0 : ZIP_TRUNCATE), &zerr);
    if (!za) {
        out.say("zip error: Could not open " + zipName + " (" + zipErrorText(zerr) + ")\n");
        return kArchiveFailed;
    }
    RunState run;
    run.out = &out;
    run.packer = &packer;
    std::vector<Written> written;
    written.reserve(items.size());  // no reallocation: sources point into it
    auto abandon = [&](const std::string& why) {
        out.say("zip error: " + why + " (" + zipName + "): " + zip_strerror(za) + "\n");
        zip_discard(za);
        return kArchiveFailed;
    };

    for (const Item& item : items) {
        zip_int64_t idx = update ? zip_name_locate(za, item.entry.c_str(), 0) : -1;
        const bool replaced = idx >= 0;
        if (item.dir && replaced) continue;  // a folder entry holds nothing to renew
        written.push_back({item.entry, replaced, {}});
        if (item.dir) {
            idx = zip_dir_add(za, item.entry.c_str(), 0);
            if (idx < 0) return abandon("Could not add " + item.entry);
        } else {
            auto* fsrc = new FileSource{item.path, item.size, item.mtime, &run, &written.back().packed, -1, false, {}};
            zip_error_init(&fsrc->error);
            zip_source_t* src = zip_source_function(za, fileSourceCallback, fsrc);
            if (!src) {
                zip_error_fini(&fsrc->error);
                delete fsrc;
                return abandon("Could not add " + item.entry);
            }
            const bool ok = replaced ? zip_file_replace(za, static_cast<zip_uint64_t>(idx), src, 0) == 0
                                     : (idx = zip_file_add(za, item.entry.c_str(), src, 0)) >= 0;
            if (!ok) {
                zip_source_free(src);
                return abandon("Could not add " + item.entry);
            }
            // The source hands over finished data, deflated or stored; this
            // only keeps libzip from compressing it once more.
            zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 0);
        }
        const auto at = static_cast<zip_uint64_t>(idx);
        zip_file_set_mtime(za, at, item.mtime, 0);
        // Unix permissions in the high half, the DOS folder bit in the low.
        const zip_uint32_t attributes = (static_cast<zip_uint32_t>(item.mode) << 16) | (item.dir ? 0x10u : 0u);
        zip_file_set_external_attributes(za, at, 0, ZIP_OPSYS_UNIX, attributes);
    }

    zip_register_progress_callback_with_state(za, 0.001, onProgress, nullptr, &run);
    if (zip_close(za) != 0) {
        if (!run.readFailure.empty()) {
            out.say("zip error: could not read " + run.readFailure + "; " + zipName + " is unchanged\n");
            zip_discard(za);
            return kCannotRead;
        }
        return abandon("Could not write the archive; it is unchanged");
    }

    for (const Written& w : written) {
        out.say((w.replaced ? "updating: " : "  adding: ") + w.entry + " " + ratioText(w.packed) + "\n");
    }

    if (scan.unreadable()) {
        out.say("zip warning: Not all files were readable\n");
        return kCannotRead;
    }
    return kOk;
}

}  // namespace varnelo
