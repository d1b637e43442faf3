// CGZipFiles: the file list, the archiver's records and the print callback.
#include "varnelo/zip_files.h"

#include <locale.h>
#include <wctype.h>

#include <cstring>
#include <exception>
#include <utility>

#include "errors/hunt_err.h"
#include "zip/libzip_archiver.h"

namespace varnelo {

namespace {

// Shared by every instance used on one thread, and outliving them.
thread_local std::string tLastMessage;
thread_local std::function<void()> tPump;

int printCallback(const char* buffer, unsigned long size) {
    // Up to the first NUL, but never past the length given: a buffer that
    // lacks its NUL must not make us read beyond it.
    if (buffer) tLastMessage.append(buffer, ::strnlen(buffer, size));
    if (tPump) {
        // A pump that throws must not unwind through the archiver.
        try {
            tPump();
        } catch (...) {
        }
    }
    return 0;
}

int passwordCallback(char*, int, const char*, const char*) { return 1; }

char* commentCallback(char* comment) { return comment; }

// The C.UTF-8 locale for case folding beyond ASCII, when the system has it.
locale_t utf8Locale() {
    static const locale_t loc = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return loc;
}

// The key a name is compared by: its lower-case form. UTF-8 sequences are
// folded by character; bytes that are no valid UTF-8 are kept as they are.
std::string foldKey(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    const locale_t loc = utf8Locale();
    size_t i = 0;
    while (i < name.size()) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
            ++i;
            continue;
        }
        const int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        char32_t cp = len == 4 ? (c & 0x07u) : len == 3 ? (c & 0x0Fu) : (c & 0x1Fu);
        bool valid = len > 0 && i + len <= name.size();
        for (int k = 1; valid && k < len; ++k) {
            const auto cc = static_cast<unsigned char>(name[i + k]);
            valid = (cc & 0xC0) == 0x80;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        if (!valid || !loc) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        const auto low = static_cast<char32_t>(::towlower_l(static_cast<wint_t>(cp), loc));
        // Re-encode; a lower case form of another length is fine in a key.
        if (low < 0x80) {
            out.push_back(static_cast<char>(low));
        } else if (low < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (low >> 6)));
            out.push_back(static_cast<char>(0x80 | (low & 0x3F)));
        } else if (low < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (low >> 12)));
            out.push_back(static_cast<char>(0x80 | ((low >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (low & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (low >> 18)));
            out.push_back(static_cast<char>(0x80 | ((low >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((low >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (low & 0x3F)));
        }
        i += static_cast<size_t>(len);
    }
    return out;
}

constexpr const char* kMakeZipFileSource = "CGZipFiles::MakeZipFile";

}  // namespace

CGZipFiles::CGZipFiles() : CGZipFiles(std::make_shared<LibzipArchiver>()) {}

CGZipFiles::CGZipFiles(std::shared_ptr<Archiver> archiver) : archiver_(std::move(archiver)) {
    if (!archiver_) throw Error::standard(err::kObjectNotSet, "CGZipFiles");
    files_.emplace_back(kPlaceholder);
    keys_.insert(foldKey(kPlaceholder));
}

int32_t CGZipFiles::ZipFileCount() const {
    return static_cast<int32_t>(files_.size()) - (placeholderHeld_ ? 1 : 0);
}

Variant CGZipFiles::AddFile(const std::string& sFileName) {
    std::string key = foldKey(sFileName);
    if (keys_.count(key)) throw Error(kErrAlreadyInList, "CGZip::AddFile", "File is already in Zip List");
    files_.push_back(sFileName);
    keys_.insert(std::move(key));
    return Variant();
}

Variant CGZipFiles::RemoveFile(const std::string& sFileName) {
    const std::string key = foldKey(sFileName);
    if (!keys_.count(key)) throw Error(kErrNotInList, "CGZip::RemoveFile", "File is not in Zip List");
    for (auto it = files_.begin(); it != files_.end(); ++it) {
        if (foldKey(*it) == key) {
            // Only the entry the list started with is the placeholder; the
            // same name added later by the host is one of its files.
            if (it == files_.begin() && placeholderHeld_) placeholderHeld_ = false;
            files_.erase(it);
            break;
        }
    }
    keys_.erase(key);
    return Variant();
}

int32_t CGZipFiles::MakeZipFile() {
    if (files_.size() > static_cast<size_t>(kZipNameListSize)) {
        throw Error::standard(err::kSubscriptOutOfRange, kMakeZipFileSource);
    }
    ZipNameList list;
    int count = 0;
    for (const auto& f : files_) list[static_cast<size_t>(count++)] = f;

    tLastMessage.clear();

    ZipOptions options;
    options.recurse = recurseFolders_ == 1 ? 1 : 0;
    options.update = updatingZip_ == 1 ? 1 : 0;
    // Encryption and system files are never asked of the archiver, whatever
    // the properties hold; the root keeps its letter case, since case-
    // sensitive file systems would find nothing under an upper-cased one.
    options.rootDir = rootDirectory_;

    try {
        archiver_->init(callbacks());
        archiver_->setOptions(options);
        return archiver_->archive(count, zipFileName_, list);
    } catch (...) {
        const Error e = hunterr::toError(std::current_exception());
        throw Error(e.number(), kMakeZipFileSource, e.description(), e.lastSystemError());
    }
}

std::string CGZipFiles::GetLastMessage() { return tLastMessage; }

void CGZipFiles::setMessagePump(std::function<void()> pump) { tPump = std::move(pump); }

ZipUserFunctions CGZipFiles::callbacks() {
    ZipUserFunctions f;
    f.print = &printCallback;
    f.password = &passwordCallback;
    f.comment = &commentCallback;
    return f;
}

}  // namespace varnelo
