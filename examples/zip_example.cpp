// varnelo-zip-example: a host program making a zip archive with CGZipFiles.
//
//   varnelo-zip-example ARCHIVE [--recurse] [--update] [--root DIR] NAME...
//
// Adds the names (files, folders or wildcards such as "*.csv", relative to
// DIR, or to the current folder without --root), makes the archive, prints what the archiver said and exits
// with MakeZipFile's result: 0 success, 12 nothing matched, 15 the archive
// could not be written, 18 a file could not be read. A raised error prints its
// description and exits 1; a bad command line exits 2.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "varnelo/zip_files.h"

namespace {

const char* const kUsage = "usage: varnelo-zip-example ARCHIVE [--recurse] [--update] [--root DIR] NAME...\n";

}  // namespace

int main(int argc, char** argv) {
    std::string archive;
    std::vector<std::string> names;
    bool recurse = false, update = false;
    std::string root;
    bool haveRoot = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--recurse") {
            recurse = true;
        } else if (a == "--update") {
            update = true;
        } else if (a == "--root" && i + 1 < argc) {
            root = argv[++i];
            haveRoot = true;
        } else if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (archive.empty()) {
            archive = a;
        } else {
            names.push_back(a);
        }
    }
    if (archive.empty() || names.empty()) {
        std::cerr << kUsage;
        return 2;
    }

    try {
        varnelo::CGZipFiles zip;
        zip.ZipFileName(archive);
        zip.RecurseFolders(recurse);
        zip.UpdatingZip(update);
        // Relative names are the current folder's unless --root says
        // otherwise (the class itself starts from the file-system root).
        zip.RootDirectory(haveRoot ? root : std::filesystem::current_path().string());
        // The list starts with a placeholder name that matches no file;
        // without it the run reports only on the names given here.
        zip.RemoveFile(varnelo::CGZipFiles::kPlaceholder);
        for (const auto& n : names) zip.AddFile(n);
        const int rc = zip.MakeZipFile();
        std::cout << varnelo::CGZipFiles::GetLastMessage() << std::flush;
        return rc;
    } catch (const varnelo::Error& e) {
        std::cerr << e.description() << "\n";
        return 1;
    }
}
