// CGZipFiles with a recording archiver; then on the libzip archiver, every archive tested and extracted by unzip.
#include "varnelo/zip_files.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/test_support.h"
#include "zip/libzip_archiver.h"

namespace varnelo {
namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using ::testing::ElementsAre, ::testing::HasSubstr, ::testing::Not;
using Names = std::set<std::string>;

// The error `action` raises, as "number source: description".
template <class F>
std::string failure(F&& action) {
    const Error e = errorOf(action);
    return std::to_string(e.number()) + " " + e.source() + ": " + e.description();
}

// Keeps what it was given; prints `messages` and returns `result`.
struct RecordingArchiver : Archiver {
    int init(const ZipUserFunctions& c) override { return callbacks = c, 0; }
    int setOptions(const ZipOptions& o) override { return options = o, 0; }
    int archive(int n, const std::string&, const ZipNameList& list) override {
        count = n, names = list;
        if (crash) throw std::runtime_error("archiver crashed");
        for (const auto& m : messages) callbacks.print(m.c_str(), static_cast<unsigned long>(m.size()));
        return result;
    }
    ZipUserFunctions callbacks;
    ZipOptions options;
    std::vector<std::string> messages;
    int count = -1, result = 0;
    ZipNameList names;
    bool crash = false;
};

class ZipFilesTest : public ::testing::Test {
protected:
    ~ZipFilesTest() override { CGZipFiles::setMessagePump(nullptr); }
    std::shared_ptr<RecordingArchiver> rec = std::make_shared<RecordingArchiver>();
    CGZipFiles zip{rec};
};

// The list starts with the placeholder; names compare in any case, UTF-8 letters too.
TEST_F(ZipFilesTest, ListStartsWithThePlaceholderAndComparesNamesInAnyCase) {
    EXPECT_EQ(failure([] { CGZipFiles z(nullptr); }), "91 CGZipFiles: Object variable or With block variable not set");
    zip.AddFile("Report.CSV");
    zip.AddFile("Zo\xC3\xAB.txt");
    for (const char* dup : {"report.csv", "ZO\xC3\x8B.TXT", "QUERTY"})
        EXPECT_EQ(failure([&] { zip.AddFile(dup); }), "-2147219503 CGZip::AddFile: File is already in Zip List");
    EXPECT_EQ(failure([&] { zip.RemoveFile("never.txt"); }), "-2147219502 CGZip::RemoveFile: File is not in Zip List");
    zip.RemoveFile("REPORT.csv");
    zip.AddFile("report.csv");  // free to come back
    EXPECT_THAT(zip.names(), ElementsAre("querty", "Zo\xC3\xAB.txt", "report.csv"));
    EXPECT_EQ(zip.ZipFileCount(), 2);
}

// The names reach the archiver in order, at most a hundred, the placeholder's place free to take; encryption and
// system files are never asked of the archiver; the root keeps its letter case.
TEST_F(ZipFilesTest, TheArchiverGetsTheNamesInOrderAndOnlyRecurseAndUpdate) {
    zip.RootDirectory("/home/Ann/exports\\Daily");
    zip.Encrypted(true), zip.IncludeSystemFiles(true), zip.RecurseFolders(true), zip.UpdatingZip(true);
    ZipNameList want{"querty"};
    for (int i = 1; i <= 99; ++i) zip.AddFile(want[i] = "f" + std::to_string(i));
    rec->result = 18;
    EXPECT_EQ(zip.MakeZipFile(), 18);
    EXPECT_EQ(rec->count, 100);
    EXPECT_EQ(rec->names, want);
    const ZipOptions& o = rec->options;
    EXPECT_EQ(std::vector<int>({o.recurse, o.update, o.encrypt, o.systemFiles, o.level}),
              std::vector<int>({1, 1, 0, 0, 0}));
    EXPECT_EQ(o.rootDir, "/home/Ann/exports\\Daily");

    zip.AddFile("f100");  // adding is not limited, making is
    EXPECT_EQ(failure([&] { zip.MakeZipFile(); }), "9 CGZipFiles::MakeZipFile: Subscript out of range");
    zip.RemoveFile("querty"), zip.RemoveFile("f1"), zip.AddFile("querty");  // the host's name now
    zip.MakeZipFile();
    EXPECT_EQ(rec->names[0] + rec->names[99] + " " + std::to_string(rec->count), "f2querty 100");
    EXPECT_EQ(zip.ZipFileCount(), 100);
    rec->crash = true;
    EXPECT_THAT(failure([&] { zip.MakeZipFile(); }),
                ::testing::MatchesRegex("-?[1-9][0-9]* CGZipFiles::MakeZipFile: archiver crashed"));
}

// No password, the comment kept; print keeps text up to the NUL or the length as the thread's last message and runs
// the thread's pump once, which may throw.
TEST_F(ZipFilesTest, CallbacksAndTheThreadsLastMessage) {
    zip.MakeZipFile();
    char password[16] = "unchanged", comment[] = "old comment";
    EXPECT_EQ(rec->callbacks.password(password, sizeof password, "Enter password: ", "a.txt"), 1);
    EXPECT_EQ(rec->callbacks.comment(comment), comment);
    EXPECT_EQ(std::string(password) + "|" + comment, "unchanged|old comment");
    const char withNul[] = "kept\0dropped", noNul[4] = {'a', 'b', 'c', 'd'};
    rec->callbacks.print(withNul, sizeof withNul);
    rec->callbacks.print(noNul, 2);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "keptab");

    std::vector<std::string> pumped;
    CGZipFiles::setMessagePump([&] { pumped.push_back(CGZipFiles::GetLastMessage()); });
    rec->messages = {"one\n", "two\n", ""};
    zip.MakeZipFile();
    std::thread([&] {
        rec->messages = {"elsewhere\n"};
        CGZipFiles(rec).MakeZipFile();
        EXPECT_EQ(CGZipFiles::GetLastMessage(), "elsewhere\n");
    }).join();
    EXPECT_THAT(pumped, ElementsAre("one\n", "one\ntwo\n", "one\ntwo\n"));
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "one\ntwo\n");
    CGZipFiles::setMessagePump([] { throw std::runtime_error("host failed"); });
    rec->messages = {"other instance\n"};
    EXPECT_EQ(CGZipFiles(rec).MakeZipFile(), 0);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "other instance\n");
}

class LibzipArchiverTest : public ::testing::Test {
protected:
    LibzipArchiverTest() {
        fs::create_directories(tree / "sub" / "deep");
        std::string text, noise(150000, '\0');  // noise does not compress
        for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + ", some text;\n";
        uint32_t seed = 7;
        for (char& c : noise) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
        const std::pair<const char*, std::string> files[] = {
            {"a.txt", text},          {"b.bin", noise},         {"other.csv", "id,name\n1,x\n"},
            {"sub/c.csv", "c,d\n1,2\n"}, {"sub/deep/d.txt", "d\n"}, {"sub/deep/empty.txt", ""}};
        for (const auto& [name, data] : files) writeFile(file(name), data);
        zip.RootDirectory(tree.string());  // of mixed case: one that lost it finds nothing
        zip.ZipFileName(archive);
    }
    std::string file(const std::string& rel) const { return (tree / rel).string(); }

    // The archive made from the placeholder and exactly these names.
    int make(const std::vector<std::string>& names) {
        while (zip.names().size() > 1) zip.RemoveFile(std::string(zip.names().back()));
        for (const auto& n : names) zip.AddFile(n);
        return zip.MakeZipFile();
    }

    // The entries, once unzip found the archive sound, each extracted and compared with its source under `base`.
    Names extracted(const fs::path& base) {
        const std::string zipFile = shellQuote(archive), dir = (work.path() / "x").string();
        EXPECT_THAT(runShell("unzip -tq " + zipFile).second, HasSubstr("No errors detected"));
        const auto [status, list] = runShell("unzip -qo " + zipFile + " -d " + shellQuote(dir) + "; unzip -Z1 " + zipFile);
        Names names;
        std::istringstream in(list);
        for (std::string name; std::getline(in, name); names.insert(name)) {
            EXPECT_TRUE(name[0] != '/' && ("/" + name).find("/../") == std::string::npos) << name;
            if (name.back() == '/') EXPECT_TRUE(fs::is_directory(base / name)) << name;
            else EXPECT_EQ(readFile(dir + "/" + name), readFile((base / name).string())) << name;
        }
        fs::remove_all(dir);
        return names;
    }

    TempDir work;
    fs::path tree = work.path() / "Tree";
    std::string archive = (work.path() / "out.zip").string();
    CGZipFiles zip;
};

// Files and wildcards under the root, "\" as a separator; a message line per name not matched and per entry, the
// pump run while libzip writes; only what shrinks is deflated; an update replaces and adds, keeping the rest.
TEST_F(LibzipArchiverTest, FilesAndWildcardsUnderTheRootThenAnUpdate) {
    int duringWrite = 0, afterwards = 0;
    CGZipFiles::setMessagePump([&] {
        (CGZipFiles::GetLastMessage().find("adding:") == std::string::npos ? duringWrite : afterwards)++;
    });
    EXPECT_EQ(make({"a.txt", "b.bin", "*.csv", "sub\\deep\\*.txt"}), 0);
    CGZipFiles::setMessagePump(nullptr);
    EXPECT_GE(duringWrite, 2);  // the placeholder's line, then libzip at work
    EXPECT_EQ(afterwards, 5);
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "b.bin", "other.csv", "sub/deep/d.txt", "sub/deep/empty.txt"}));
    EXPECT_THAT(CGZipFiles::GetLastMessage(),
                ::testing::AllOf(HasSubstr("zip warning: name not matched: querty\n"),
                                 ::testing::ContainsRegex("  adding: a\\.txt \\(deflated [89][0-9]%\\)\n"),
                                 HasSubstr("  adding: b.bin (stored 0%)\n"), HasSubstr("  adding: other.csv (stored 0%)\n"),
                                 HasSubstr("  adding: sub/deep/empty.txt (stored 0%)\n")));
    writeFile(file("a.txt"), "changed\n");
    zip.UpdatingZip(true);
    EXPECT_EQ(make({"a.txt", "sub/c.csv"}), 0);
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "b.bin", "other.csv", "sub/c.csv", "sub/deep/d.txt", "sub/deep/empty.txt"}));
    EXPECT_THAT(CGZipFiles::GetLastMessage(), ::testing::AllOf(HasSubstr("updating: a.txt (stored 0%)\n"),
                                                               HasSubstr("  adding: sub/c.csv (stored 0%)\n"), Not(HasSubstr("b.bin"))));
}

// A folder brings its content only when recursing; names outside the root keep their path without the leading
// "/"; the archive is not archived.
TEST_F(LibzipArchiverTest, FoldersRecursionAndNamesOutsideTheRoot) {
    EXPECT_EQ(make({"s?b"}), 0);
    EXPECT_EQ(extracted(tree), (Names{"sub/"}));
    zip.RootDirectory(file("sub"));
    EXPECT_EQ(make({"..\\other.csv", file("a.txt")}), 0);
    EXPECT_EQ(extracted("/"), (Names{file("a.txt").substr(1), file("other.csv").substr(1)}));
    zip.ZipFileName(archive = file("self.zip"));  // made twice: the second time it is in the tree
    zip.RootDirectory(tree.string());
    zip.RecurseFolders(true);
    EXPECT_EQ(make({"."}), 0);
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "b.bin", "other.csv", "sub/", "sub/c.csv", "sub/deep/", "sub/deep/d.txt",
                                      "sub/deep/empty.txt"}));
}

// Unopenable files (a FIFO, a dangling link) are skipped with code 18, nothing matched is 12, a failed read 18, an
// unwritable archive 15 (the example program under a file-size limit): the previous archive stays, no temporary.
TEST_F(LibzipArchiverTest, FailuresKeepThePreviousArchive) {
    ASSERT_EQ(::mkfifo(file("sub/fifo").c_str(), 0600), 0);
    fs::create_symlink(file("gone.txt"), file("sub/dangling.txt"));
    EXPECT_EQ(make({"a.txt", "sub/fifo", "other.csv", "sub/dangling.txt"}), 18);
    for (const char* n : {"sub/fifo", "sub/dangling.txt"})
        EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip warning: could not open for reading: " + file(n) + " ("));
    EXPECT_THAT(CGZipFiles::GetLastMessage(), ::testing::EndsWith("zip warning: Not all files were readable\n"));
    const std::string before = readFile(archive), example = shellQuote(VARNELO_ZIP_EXAMPLE_BIN) + " " +
                                                             shellQuote(archive) + " --root " + shellQuote(tree.string());
    EXPECT_EQ(make({"sub/fifo"}), 18);  // nothing else to do, yet 18
    zip.ZipFileName("");
    EXPECT_EQ(make({"a.txt"}), 15);
    zip.ZipFileName(archive);
    zip.RecurseFolders(true);  // an empty name must not stand for the whole root
    for (const std::string update : {"", " --update"}) {
        zip.UpdatingZip(!update.empty());
        EXPECT_EQ(make({"missing.txt", "*.nothing", ""}), 12);
        EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("name not matched: \nzip error: Nothing to do!"));
        EXPECT_EQ(make({"a.txt", "/proc/self/mem"}), 18);  // opens, but reading it fails
        EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip error: could not read /proc/self/mem: "));
        EXPECT_EQ(runShell("trap '' XFSZ; ulimit -f 64; " + example + update + " a.txt b.bin").first, 15);
        EXPECT_EQ(readFile(archive), before);
    }
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "other.csv"}));  // what the first run made
    EXPECT_EQ(work.names(), (std::set<std::string>{"out.zip", "Tree"}));
    writeFile(archive, "not a zip archive");  // not updated, nor lost
    EXPECT_EQ(zip.MakeZipFile(), 15);
    EXPECT_EQ(readFile(archive), "not a zip archive");
}

// Without a root, relative names, the archive's too, are the current folder's (the example program's exit code).
TEST_F(LibzipArchiverTest, WithoutARootNamesAreTheCurrentFolders) {
    const auto [status, log] = runShell("cd " + shellQuote(file("sub")) + " && " +
                                        shellQuote(VARNELO_ZIP_EXAMPLE_BIN) + " ../ex.zip c.csv nothing");
    EXPECT_EQ(status, 0);
    EXPECT_THAT(log, HasSubstr("zip warning: name not matched: nothing\n"));
    archive = file("ex.zip");
    EXPECT_EQ(extracted(file("sub")), (Names{"c.csv"}));
}

// Level 0 is the default deflate level 6; level 1 shows as "fast" in the entry's flags.
TEST_F(LibzipArchiverTest, LevelZeroIsTheDefaultDeflateLevelSix) {
    std::vector<uintmax_t> sizes;
    for (uint8_t level : {0, 6, 1}) {
        LibzipArchiver a;
        ZipOptions o;
        o.level = level, o.rootDir = tree.string();
        a.setOptions(o);
        EXPECT_EQ(a.archive(1, archive, {"a.txt"}), 0);
        sizes.push_back(fs::file_size(archive));
    }
    EXPECT_TRUE(sizes[0] == sizes[1] && sizes[0] != sizes[2]);
    const std::string script = "import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).infolist()[0].flag_bits & 6)";
    EXPECT_EQ(runShell("python3 -c " + shellQuote(script) + " " + shellQuote(archive)).second, "4\n");
}

}  // namespace
}  // namespace varnelo
