// CGZipFiles: zip archives for host programs.
//
// A host creates a CGZipFiles, sets the archive name and a few options, adds
// file names and calls MakeZipFile:
//
//     CGZipFiles zip;
//     zip.ZipFileName("/srv/out/orders.zip");
//     zip.RootDirectory("/srv/exports");   // names below are found here
//     zip.RecurseFolders(true);
//     zip.RemoveFile("querty");            // the placeholder, see below
//     zip.AddFile("orders.csv");
//     zip.AddFile("reports");              // a folder, with its subfolders
//     int rc = zip.MakeZipFile();          // 0 when all went well
//     std::cout << CGZipFiles::GetLastMessage();
//
// The file list starts with one placeholder name, "querty". It is handed to
// the archiver like any other name; the libzip archiver reports it as a name
// that matches nothing ("zip warning: name not matched: querty"). A host that
// wants a quiet run removes it first.
//
// Names are compared without regard to letter case: adding "A.TXT" after
// "a.txt" fails as a duplicate. At most 100 names (the placeholder included)
// reach the archiver in one run; a longer list makes MakeZipFile fail.
//
// The archive itself is written by an Archiver (below). The default one is
// libzip's: names are files, folders or shell wildcards, "\" is accepted as a
// folder separator, RootDirectory is the base folder of relative names and of
// the entry names, files are deflated, or stored when deflating does not make
// them smaller, and the archive is replaced (or updated) all at once, so a
// failed run leaves the previous archive as it was. MakeZipFile returns the
// archiver's code: 0 success, 12 nothing to do (no name matched), 15 the
// archive could not be created or written, 18 a named file could not be read.
//
// Errors are varnelo::Error exceptions (see error.h), raised directly with
// the number, source and description documented at each operation.
//
// Threads: an instance belongs to one thread at a time. The last-message
// text and the message pump are per thread: every instance used on a thread
// shares them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "varnelo/error.h"
#include "varnelo/export_macros.h"
#include "varnelo/variant.h"

namespace varnelo {

// ---------------------------------------------------------------------------
// The archiver's records. Their layout is the archiver's own.

// Print: a NUL-terminated text (at most 4097 bytes with the NUL) and its
// length; returns 0.
using ZipPrintFunction = int (*)(const char* buffer, unsigned long size);
// Password: asked for a password of at most `size` bytes for entry `name`;
// returns 0 when it put one into `password`, 1 when it gives none.
using ZipPasswordFunction = int (*)(char* password, int size, const char* prompt, const char* name);
// Comment: may replace the archive comment; returns the buffer to use.
using ZipCommentFunction = char* (*)(char* comment);

// The callbacks an archiver talks back through, handed over at init.
struct ZipUserFunctions {
    ZipPrintFunction print = nullptr;
    ZipPasswordFunction password = nullptr;
    ZipCommentFunction comment = nullptr;
    void* reserved = nullptr;  // always empty
};

// The option record: 27 flags (1 on, 0 off) in this order, the compression
// level byte, then the date and root-directory texts.
struct ZipOptions {
    int32_t suffixes = 0;             // 1
    int32_t encrypt = 0;              // 2
    int32_t systemFiles = 0;          // 3 include system and hidden files
    int32_t volumeLabel = 0;          // 4
    int32_t extraAttributes = 0;      // 5
    int32_t noDirEntries = 0;         // 6
    int32_t excludeDate = 0;          // 7
    int32_t includeDate = 0;          // 8
    int32_t verbose = 0;              // 9
    int32_t quiet = 0;                // 10
    int32_t crlfToLf = 0;             // 11
    int32_t lfToCrlf = 0;             // 12
    int32_t junkDirNames = 0;         // 13
    int32_t recurse = 0;              // 14 recurse into subfolders
    int32_t grow = 0;                 // 15
    int32_t force = 0;                // 16
    int32_t move = 0;                 // 17
    int32_t deleteEntries = 0;        // 18
    int32_t update = 0;               // 19 update an existing archive
    int32_t freshen = 0;              // 20
    int32_t junkSfxPrefix = 0;        // 21
    int32_t latestTime = 0;           // 22
    int32_t comment = 0;              // 23
    int32_t offsets = 0;              // 24
    int32_t privileges = 0;           // 25
    int32_t encryptionSupported = 0;  // 26
    int32_t repair = 0;               // 27
    uint8_t level = 0;                // 0: the default deflate level, else 1 to 9
    std::string date;
    std::string rootDir;
};
static_assert(offsetof(ZipOptions, recurse) == 13 * sizeof(int32_t));
static_assert(offsetof(ZipOptions, update) == 18 * sizeof(int32_t));
static_assert(offsetof(ZipOptions, level) == 27 * sizeof(int32_t));

// The names handed to the archiver: a fixed record of 100 entries.
constexpr int kZipNameListSize = 100;
using ZipNameList = std::array<std::string, kZipNameListSize>;

// The archiver, shaped like the archiver library's three calls. MakeZipFile
// calls init, setOptions and archive in that order on the calling thread.
// The results of init and setOptions are not looked at; archive's result is
// MakeZipFile's. An archiver reports its own failures through that result and
// the print callback; an exception it throws is a fault of the archiver and
// reaches the host as an error of MakeZipFile.
class VARNELO_EXPORT Archiver {
public:
    virtual ~Archiver() = default;
    virtual int init(const ZipUserFunctions& callbacks) = 0;
    virtual int setOptions(const ZipOptions& options) = 0;
    // Creates or updates `zipName` from the first `count` entries of `names`.
    virtual int archive(int count, const std::string& zipName, const ZipNameList& names) = 0;
};

// ---------------------------------------------------------------------------

class VARNELO_EXPORT CGZipFiles {
public:
    static constexpr const char* kPlaceholder = "querty";

    // AddFile of a name already in the list.
    static constexpr int32_t kErrAlreadyInList = err::vbObjectError + 2001;  // -2147219503
    // RemoveFile of a name not in the list.
    static constexpr int32_t kErrNotInList = err::vbObjectError + 2002;  // -2147219502

    // With the libzip archiver.
    CGZipFiles();
    // With another archiver (a test's, a host's own); it must not be null.
    explicit CGZipFiles(std::shared_ptr<Archiver> archiver);

    CGZipFiles(const CGZipFiles&) = delete;
    CGZipFiles& operator=(const CGZipFiles&) = delete;

    // Properties: read with Name(), write with Name(value). The yes/no ones
    // are kept as 1 or 0.
    bool RecurseFolders() const { return recurseFolders_ == 1; }
    void RecurseFolders(bool v) { recurseFolders_ = v ? 1 : 0; }
    const std::string& ZipFileName() const { return zipFileName_; }
    void ZipFileName(std::string v) { zipFileName_ = std::move(v); }
    // Kept and returned only: the archive is never encrypted.
    bool Encrypted() const { return encrypted_ == 1; }
    void Encrypted(bool v) { encrypted_ = v ? 1 : 0; }
    // Kept and returned only: hidden files are ordinary files here.
    bool IncludeSystemFiles() const { return includeSystemFiles_ == 1; }
    void IncludeSystemFiles(bool v) { includeSystemFiles_ = v ? 1 : 0; }
    // Base folder of relative names and of the entry names; "\" (the
    // file-system root) at first. Handed to the archiver as it is written.
    const std::string& RootDirectory() const { return rootDirectory_; }
    void RootDirectory(std::string v) { rootDirectory_ = std::move(v); }
    bool UpdatingZip() const { return updatingZip_ == 1; }
    void UpdatingZip(bool v) { updatingZip_ = v ? 1 : 0; }

    // The number of names added (the placeholder, while it is in the list,
    // does not count).
    int32_t ZipFileCount() const;

    // Adds a name at the end of the list. The result is always Empty.
    // Error kErrAlreadyInList, source "CGZip::AddFile", "File is already in
    // Zip List" when the list holds it (in any letter case); the list is
    // unchanged.
    Variant AddFile(const std::string& sFileName);
    // Removes a name (in any letter case). The result is always Empty.
    // Error kErrNotInList, source "CGZip::RemoveFile", "File is not in Zip
    // List" when the list does not hold it.
    Variant RemoveFile(const std::string& sFileName);

    // Copies the list into the name list, clears this thread's last message,
    // and runs the archiver's init, setOptions and archive; returns archive's
    // code. More than 100 names: error 9 "Subscript out of range", source
    // "CGZipFiles::MakeZipFile", and the archiver is not called. An exception
    // from the archiver leaves as an Error with that source and the number
    // and description of the failure.
    int32_t MakeZipFile();

    // What the archiver printed during the last MakeZipFile on this thread,
    // made by any instance.
    static std::string GetLastMessage();

    // Sets the function the print callback runs once per message on this
    // thread, letting the host's message loop run while an archive is made
    // (a Qt host passes QCoreApplication::processEvents). Empty: nothing
    // runs. Host code run by it may use other CGZipFiles on this thread;
    // their messages then mix into the same last-message text.
    static void setMessagePump(std::function<void()> pump);

    // The callback record every MakeZipFile hands to its archiver.
    static ZipUserFunctions callbacks();

    // The names in the order they were added, placeholder included.
    const std::vector<std::string>& names() const { return files_; }

private:
    std::shared_ptr<Archiver> archiver_;
    // The file list: names in order, and their case-folded keys.
    std::vector<std::string> files_;
    std::unordered_set<std::string> keys_;
    bool placeholderHeld_ = true;
    int16_t recurseFolders_ = 0;
    std::string zipFileName_;
    int16_t encrypted_ = 0;
    int16_t includeSystemFiles_ = 0;
    std::string rootDirectory_ = "\\";
    int16_t updatingZip_ = 0;
};

}  // namespace varnelo
