// CGZipFiles on the libzip archiver, end to end: real files in a scratch
// tree, archives checked with unzip (-t, -l, and extracting every entry to
// compare its bytes with the source).
#include "zip/libzip_archiver.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/zip_files.h"

namespace varnelo {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;
using Names = std::set<std::string>;

std::string shq(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command; its exit code, its output in `out`.
int sh(const std::string& cmd, std::string* out = nullptr) {
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    std::string text;
    char buf[4096];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    const int status = p ? ::pclose(p) : -1;
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Text that compresses, and bytes that do not, the same on every run.
std::string textData(int lines) {
    std::string s;
    for (int i = 0; i < lines; ++i) s += "line " + std::to_string(i) + ", some text;\n";
    return s;
}
std::string binaryData(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    return s;
}

const Names kSub = {"sub/", "sub/c.csv", "sub/deep/", "sub/deep/d.txt", "sub/deep/empty.txt"};

class LibzipArchiverTest : public ::testing::Test {
protected:
    LibzipArchiverTest() {
        fs::create_directories(tree / "sub" / "deep");
        writeFile(file("a.txt"), textData(2000));
        writeFile(file("b.bin"), binaryData(70000, 7));
        writeFile(file("other.csv"), "id,name\n1,x\n");
        writeFile(file("sub/c.csv"), textData(50));
        writeFile(file("sub/deep/d.txt"), textData(10));
        writeFile(file("sub/deep/empty.txt"), "");
        zip.RootDirectory(tree.string());  // of mixed case: one that lost it finds nothing
        zip.ZipFileName(archive);
    }

    std::string file(const std::string& rel) const { return (tree / rel).string(); }

    // Makes the archive from the placeholder and exactly these names.
    int make(const std::vector<std::string>& names) {
        while (zip.names().size() > 1) zip.RemoveFile(std::string(zip.names().back()));
        for (const auto& n : names) zip.AddFile(n);
        return zip.MakeZipFile();
    }

    // The entries `unzip -l` lists, once `unzip -t` has found the archive
    // sound. Each must stay below the folder it is extracted to, and is
    // compared with its source under `base` (folders must be folders there).
    Names extracted(const fs::path& base) {
        std::string out;
        EXPECT_EQ(sh("unzip -t " + shq(archive), &out), 0) << out;
        EXPECT_THAT(out, HasSubstr("No errors detected"));
        const fs::path dir = work.path() / "x";
        EXPECT_EQ(sh("unzip -q -o " + shq(archive) + " -d " + shq(dir.string()), &out), 0) << out;
        EXPECT_EQ(sh("unzip -l " + shq(archive), &out), 0) << out;
        static const std::regex row(R"( *\d+ +\S+-\S+ +\d\d:\d\d +(.+))");
        Names names;
        std::istringstream in(out);
        std::smatch m;
        for (std::string line; std::getline(in, line);) {
            if (!std::regex_match(line, m, row)) continue;
            const std::string name = m.str(1);
            EXPECT_EQ(("/" + name + "/").find("/../"), std::string::npos) << name;
            EXPECT_NE(name[0], '/') << name;
            if (name.back() == '/') {
                EXPECT_TRUE(fs::is_directory(base / name)) << name;
            } else {
                EXPECT_EQ(readFile((dir / name).string()), readFile((base / name).string())) << name;
            }
            names.insert(name);
        }
        fs::remove_all(dir);
        return names;
    }

    TempDir work;
    fs::path tree = work.path() / "Tree";
    std::string archive = (work.path() / "out.zip").string();
    CGZipFiles zip;
};

TEST_F(LibzipArchiverTest, FilesAndWildcardsUnderTheRoot) {
    int duringWrite = 0, afterwards = 0;
    CGZipFiles::setMessagePump([&] {
        (CGZipFiles::GetLastMessage().find("adding:") == std::string::npos ? duringWrite : afterwards)++;
    });
    EXPECT_EQ(make({"a.txt", "b.bin", "*.csv", "sub\\deep\\*.txt"}), 0);
    CGZipFiles::setMessagePump(nullptr);
    EXPECT_GE(duringWrite, 2);  // the unmatched placeholder's line, then libzip at work
    EXPECT_EQ(afterwards, 5);   // one per "adding:" line
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "b.bin", "other.csv", "sub/deep/d.txt", "sub/deep/empty.txt"}));
    const std::string msg = CGZipFiles::GetLastMessage();
    EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: querty\n"));
    EXPECT_THAT(msg, ContainsRegex("  adding: a\\.txt \\(deflated [89][0-9]%\\)\n"));  // repeated lines
    EXPECT_THAT(msg, HasSubstr("  adding: sub/deep/empty.txt (stored 0%)\n"));
}

TEST_F(LibzipArchiverTest, FoldersBringTheirContentOnlyWhenRecursing) {
    EXPECT_EQ(make({"s?b"}), 0);
    EXPECT_EQ(extracted(tree), (Names{"sub/"}));

    // The whole root with the archive inside it, made twice so that the
    // archive is there while the tree is walked.
    archive = file("self.zip");
    zip.ZipFileName(archive);
    zip.RecurseFolders(true);
    EXPECT_EQ(make({"."}), 0);
    EXPECT_EQ(zip.MakeZipFile(), 0);
    Names all = kSub;
    all.insert({"a.txt", "b.bin", "other.csv"});
    EXPECT_EQ(extracted(tree), all);
}

TEST_F(LibzipArchiverTest, NamesOutsideTheRootKeepTheirPathWithoutTheLeadingSlash) {
    zip.RootDirectory(file("sub"));
    EXPECT_EQ(make({"..\\other.csv", file("a.txt")}), 0);
    EXPECT_EQ(extracted("/"), (Names{file("a.txt").substr(1), file("other.csv").substr(1)}));

    CGZipFiles plain;  // the default root is the file-system root
    plain.ZipFileName(archive);
    plain.AddFile(file("b.bin"));
    EXPECT_EQ(plain.MakeZipFile(), 0);
    EXPECT_EQ(extracted("/"), (Names{file("b.bin").substr(1)}));
}

TEST_F(LibzipArchiverTest, UpdateReplacesAndAddsAndKeepsTheRest) {
    EXPECT_EQ(make({"a.txt", "b.bin"}), 0);
    writeFile(file("a.txt"), "changed\n");
    zip.UpdatingZip(true);
    EXPECT_EQ(make({"a.txt", "other.csv"}), 0);
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "b.bin", "other.csv"}));  // a.txt holds the new text
    const std::string msg = CGZipFiles::GetLastMessage();
    EXPECT_THAT(msg, HasSubstr("updating: a.txt ("));
    EXPECT_THAT(msg, HasSubstr("  adding: other.csv ("));
    EXPECT_THAT(msg, Not(HasSubstr("b.bin")));

    zip.UpdatingZip(false);  // made anew
    EXPECT_EQ(make({"other.csv"}), 0);
    EXPECT_EQ(extracted(tree), (Names{"other.csv"}));
}

TEST_F(LibzipArchiverTest, NothingMatchedIsCode12AndLeavesTheArchiveAlone) {
    writeFile(archive, "an older archive");
    zip.RecurseFolders(true);  // an empty name must not stand for the whole root
    EXPECT_EQ(make({"missing.txt", "*.nothing", ""}), 12);
    const std::string msg = CGZipFiles::GetLastMessage();
    for (const char* n : {"querty", "missing.txt", "*.nothing", ""}) {
        EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: " + std::string(n) + "\n"));
    }
    EXPECT_THAT(msg, HasSubstr("zip error: Nothing to do!"));
    zip.UpdatingZip(true);
    EXPECT_EQ(zip.MakeZipFile(), 12);
    EXPECT_EQ(readFile(archive), "an older archive");
}

// chmod 000 does not stop root from reading, so two entries that exist but
// cannot be opened as files stand in: a UNIX socket and a link to nothing.
TEST_F(LibzipArchiverTest, UnreadableFilesAreSkippedWithCode18) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{AF_UNIX, {}};
    ASSERT_LT(file("sub/sock").size(), sizeof addr.sun_path);
    file("sub/sock").copy(addr.sun_path, sizeof addr.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    fs::create_symlink(file("gone.txt"), file("sub/dangling.txt"));

    EXPECT_EQ(make({"a.txt", "sub/sock", "sub/dangling.txt"}), 18);
    EXPECT_EQ(extracted(tree), (Names{"a.txt"}));
    const std::string msg = CGZipFiles::GetLastMessage();
    for (const char* n : {"sub/sock", "sub/dangling.txt"}) {
        EXPECT_THAT(msg, HasSubstr("zip warning: could not open for reading: " + file(n) + " ("));
        EXPECT_THAT(msg, Not(HasSubstr(std::string("name not matched: ") + n)));
    }
    EXPECT_THAT(msg, HasSubstr("zip warning: Not all files were readable\n"));

    zip.RecurseFolders(true);
    EXPECT_EQ(make({"sub"}), 18);
    EXPECT_EQ(extracted(tree), kSub);

    const std::string before = readFile(archive);
    EXPECT_EQ(make({"sub/sock"}), 18);  // nothing to do, yet still 18
    EXPECT_EQ(readFile(archive), before);
}

// A run in a child process whose files may not grow past 64 KiB, so that
// writing the archive fails part-way; the child's result code.
int makeWithSmallFileLimit(CGZipFiles& zip) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
        const rlimit lim{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        ::_exit(zip.MakeZipFile());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LibzipArchiverTest, FailuresAreCode15Or18AndKeepThePreviousArchive) {
    for (const std::string& name : {file("no/such/folder/out.zip"), std::string()}) {
        zip.ZipFileName(name);
        EXPECT_EQ(make({"a.txt"}), 15);
        EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip error: "));
    }
    zip.ZipFileName(archive);
    writeFile(file("big.bin"), binaryData(300000, 11));
    EXPECT_EQ(make({"a.txt", "other.csv"}), 0);
    const std::string before = readFile(archive);
    for (bool update : {false, true}) {
        zip.UpdatingZip(update);
        // Opens like a file, but reading it from the start fails with EIO.
        EXPECT_EQ(make({"a.txt", "/proc/self/mem"}), 18);
        EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip error: could not read /proc/self/mem: "));
        EXPECT_EQ(readFile(archive), before);
        zip.RemoveFile("/proc/self/mem");
        zip.AddFile("big.bin");
        EXPECT_EQ(makeWithSmallFileLimit(zip), 15);
        EXPECT_EQ(readFile(archive), before);
    }
    EXPECT_EQ(extracted(tree), (Names{"a.txt", "other.csv"}));
    EXPECT_EQ(work.names(), (std::set<std::string>{"out.zip", "Tree"}));  // no temporary file left

    // Something that is no archive is not updated, nor lost.
    writeFile(archive, "not a zip archive");
    EXPECT_EQ(zip.MakeZipFile(), 15);
    EXPECT_EQ(readFile(archive), "not a zip archive");
}

TEST_F(LibzipArchiverTest, LevelZeroIsTheDefaultDeflateLevelSix) {
    const ZipNameList names{"a.txt"};
    auto sizeAt = [&](uint8_t level) {
        LibzipArchiver a;
        ZipOptions o;
        o.level = level;
        o.rootDir = tree.string();
        a.setOptions(o);
        EXPECT_EQ(a.archive(1, archive, names), 0);
        EXPECT_EQ(extracted(tree), Names{"a.txt"});
        return fs::file_size(archive);
    };
    EXPECT_EQ(sizeAt(0), sizeAt(6));
    EXPECT_NE(sizeAt(0), sizeAt(1));
}

class ZipExampleProgram : public LibzipArchiverTest {};

TEST_F(ZipExampleProgram, MakesTheArchiveAndExitsWithTheResult) {
    const std::string bin = shq(VARNELO_ZIP_EXAMPLE_BIN) + " ";
    std::string log;
    EXPECT_EQ(sh(bin + shq(archive) + " --recurse --root " + shq(tree.string()) + " sub", &log), 0);
    EXPECT_THAT(log, HasSubstr("  adding: sub/deep/d.txt (deflated "));
    EXPECT_THAT(log, Not(HasSubstr("querty")));
    EXPECT_EQ(extracted(tree), kSub);

    // Relative names, the archive's too, are the current folder's without --root.
    EXPECT_EQ(sh("cd " + shq(file("sub")) + " && " + bin + "../ex2.zip c.csv nothing", &log), 0);
    EXPECT_THAT(log, HasSubstr("zip warning: name not matched: nothing"));
    archive = file("ex2.zip");
    EXPECT_EQ(extracted(file("sub")), (Names{"c.csv"}));

    EXPECT_EQ(sh(bin + shq(archive) + " nothing", &log), 12);
    std::string many;
    for (int i = 0; i < 101; ++i) many += " f" + std::to_string(i);
    EXPECT_EQ(sh(bin + shq(archive) + many, &log), 1);
    EXPECT_THAT(log, HasSubstr("Subscript out of range"));
}

}  // namespace
}  // namespace varnelo
