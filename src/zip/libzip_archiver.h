// LibzipArchiver: the Archiver that writes zip archives with libzip.
//
// What each name of the list means:
// - a file, a folder or a shell wildcard ("*.csv", "data/?.txt", "[ab]*");
//   "\" is taken as a folder separator; an empty name matches nothing;
// - a relative name is found under the root folder of the options ("\" or
//   "/" the file-system root, an empty root the current folder); the archive
//   name itself is taken relative to the current folder;
// - entries are named relative to the root; a file outside it keeps its
//   absolute path without the leading "/". Folder names stay part of the
//   entry names, and a folder gets an entry of its own ("dir/");
// - with the recurse flag a folder brings everything below it (symbolic
//   links followed, loops skipped); without it only its own entry.
//
// With the update flag an existing archive is opened and entries of the same
// name are replaced, new ones added, the rest kept; without it a new archive
// replaces any old one. libzip writes to a temporary file beside the archive
// and renames it on success, so a failed run keeps the previous archive.
//
// Compression: deflate at the level of the record, level 0 meaning the
// default level 6 (as zip's); a file that does not get smaller is stored
// instead (EntryPacker). Each file is read and deflated once, by one deflate
// state for the whole run; libzip copies the finished data. Other flags of
// the record have no effect.
//
// Messages, each one print call ending in "\n":
//   "zip warning: name not matched: NAME"         a name that matches nothing
//   "zip warning: could not open for reading: PATH (reason)"
//   "  adding: NAME (deflated NN%)"               deflated, NN% saved (rounded)
//   "  adding: NAME (stored 0%)"                  stored: a folder, or a file
//                                                 that deflating did not shrink
//   "updating: NAME (...)"                        an entry replaced
//   "zip error: ..."                              why the run failed
// While libzip writes, the print callback is called now and then with an
// empty text, so that the host's message loop keeps running.
//
// Results: 0 success; 12 nothing to do (no name matched a file that could be
// added; the archive is left as it was); 15 the archive could not be opened,
// created or written (the previous one is kept); 18 a named file could not be
// read: one that could not be opened is skipped with a warning and the rest
// is archived, one that fails while it is read (or changes between the two
// reads of a large stored file) fails the whole run.
#pragma once

#include <string>

#include "varnelo/zip_files.h"

namespace varnelo {

class LibzipArchiver : public Archiver {
public:
    static constexpr int kOk = 0;
    static constexpr int kNothingToDo = 12;
    static constexpr int kArchiveFailed = 15;
    static constexpr int kCannotRead = 18;
    static constexpr int kDefaultLevel = 6;

    int init(const ZipUserFunctions& callbacks) override;
    int setOptions(const ZipOptions& options) override;
    int archive(int count, const std::string& zipName, const ZipNameList& names) override;

private:
    ZipUserFunctions callbacks_;
    ZipOptions options_;
};

}  // namespace varnelo
