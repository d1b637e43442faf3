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
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/zip_files.h"

namespace varnelo {
namespace {

namespace fs = std::filesystem;
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
    if (!p) return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    const int status = ::pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The entry names `unzip -l` lists.
Names listed(const std::string& archive) {
    std::string out;
    EXPECT_EQ(sh("unzip -l " + shq(archive), &out), 0) << out;
    // Rows read "LENGTH DATE TIME NAME"; the name may hold blanks.
    Names names;
    std::istringstream in(out);
    std::string l;
    while (std::getline(in, l)) {
        std::istringstream row(l);
        std::string length, date, time;
        if (!(row >> length >> date >> time) || length.find_first_not_of("0123456789") != std::string::npos ||
            date.find('-') == std::string::npos) {
            continue;
        }
        std::string name;
        std::getline(row >> std::ws, name);
        if (!name.empty()) names.insert(name);
    }
    return names;
}

bool testedOk(const std::string& archive) {
    std::string out;
    const int rc = sh("unzip -t " + shq(archive), &out);
    return rc == 0 && out.find("No errors detected") != std::string::npos;
}

// Text that compresses, and bytes that do not, the same on every run.
std::string textData(int lines) {
    std::string s;
    for (int i = 0; i < lines; ++i) s += "line " + std::to_string(i) + ", some text;\n";
    return s;
}
std::string binaryData(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    for (auto& c : s) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

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
        zip.ZipFileName(archive);
        zip.RootDirectory(tree.string());
        CGZipFiles::setMessagePump(nullptr);
    }

    std::string file(const std::string& rel) const { return (tree / rel).string(); }

    int make(const std::vector<std::string>& names) {
        for (const auto& n : names) zip.AddFile(n);
        return zip.MakeZipFile();
    }

    // Extracts the archive and checks every entry's bytes against its
    // source under `base` (folders must be folders there).
    void expectSameBytes(const fs::path& base) {
        const fs::path out = work.path() / "x";
        fs::remove_all(out);
        std::string log;
        ASSERT_EQ(sh("unzip -q -o " + shq(archive) + " -d " + shq(out.string()), &log), 0) << log;
        for (const auto& name : listed(archive)) {
            if (name.back() == '/') {
                EXPECT_TRUE(fs::is_directory(base / name)) << name;
                continue;
            }
            EXPECT_EQ(readFile((out / name).string()), readFile((base / name).string())) << name;
        }
    }

    TempDir work;
    fs::path tree = work.path() / "tree";
    std::string archive = (work.path() / "out.zip").string();
    CGZipFiles zip;
};

TEST_F(LibzipArchiverTest, FilesByNameUnderTheRoot) {
    EXPECT_EQ(make({"a.txt", "sub\\c.csv", "b.bin", "sub/deep/empty.txt"}), 0);
    EXPECT_TRUE(testedOk(archive));
    EXPECT_EQ(listed(archive), (Names{"a.txt", "b.bin", "sub/c.csv", "sub/deep/empty.txt"}));
    expectSameBytes(tree);
    const std::string msg = CGZipFiles::GetLastMessage();
    EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: querty\n"));
    // Text of repeated lines saves most of its size.
    const std::string head = "  adding: a.txt (deflated ";
    const size_t at = msg.find(head);
    ASSERT_NE(at, std::string::npos) << msg;
    EXPECT_GE(std::stoi(msg.substr(at + head.size())), 80) << msg;
    EXPECT_THAT(msg, HasSubstr("  adding: sub/c.csv (deflated "));
    EXPECT_THAT(msg, HasSubstr("  adding: sub/deep/empty.txt (stored 0%)\n"));
}

TEST_F(LibzipArchiverTest, AFolderBringsItsContentOnlyWhenRecursing) {
    EXPECT_EQ(make({"sub"}), 0);
    EXPECT_EQ(listed(archive), (Names{"sub/"}));
    EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("  adding: sub/ (stored 0%)\n"));

    zip.RecurseFolders(true);
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_TRUE(testedOk(archive));
    EXPECT_EQ(listed(archive),
              (Names{"sub/", "sub/c.csv", "sub/deep/", "sub/deep/d.txt", "sub/deep/empty.txt"}));
    expectSameBytes(tree);
}

TEST_F(LibzipArchiverTest, TheWholeRootRecursedHoldsEveryFileButTheArchive) {
    zip.ZipFileName(file("self.zip"));  // inside the tree being archived
    zip.RecurseFolders(true);
    EXPECT_EQ(make({"."}), 0);
    EXPECT_EQ(zip.MakeZipFile(), 0);  // again, now that the archive exists
    archive = file("self.zip");
    EXPECT_TRUE(testedOk(archive));
    EXPECT_EQ(listed(archive), (Names{"a.txt", "b.bin", "other.csv", "sub/", "sub/c.csv", "sub/deep/",
                                      "sub/deep/d.txt", "sub/deep/empty.txt"}));
    expectSameBytes(tree);
}

TEST_F(LibzipArchiverTest, WildcardsMatchInTheirOwnFolder) {
    EXPECT_EQ(make({"*.csv", "sub\\deep\\*.txt"}), 0);
    EXPECT_EQ(listed(archive), (Names{"other.csv", "sub/deep/d.txt", "sub/deep/empty.txt"}));
    expectSameBytes(tree);

    zip.RecurseFolders(true);
    zip.RemoveFile("*.csv");
    zip.RemoveFile("sub\\deep\\*.txt");
    zip.AddFile("s?b");
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(listed(archive),
              (Names{"sub/", "sub/c.csv", "sub/deep/", "sub/deep/d.txt", "sub/deep/empty.txt"}));
}

TEST_F(LibzipArchiverTest, NamesOutsideTheRootKeepTheirPathWithoutTheLeadingSlash) {
    zip.RootDirectory(file("sub"));
    const std::string abs = file("a.txt");
    EXPECT_EQ(make({"c.csv", abs, "../other.csv"}), 0);
    EXPECT_EQ(listed(archive), (Names{"c.csv", abs.substr(1), file("other.csv").substr(1)}));
    const fs::path out = work.path() / "x";
    std::string log;
    ASSERT_EQ(sh("unzip -q -o " + shq(archive) + " -d " + shq(out.string()), &log), 0) << log;
    EXPECT_EQ(readFile((out / "c.csv").string()), readFile(file("sub/c.csv")));
    EXPECT_EQ(readFile((out / abs.substr(1)).string()), readFile(abs));
    EXPECT_EQ(readFile((out / file("other.csv").substr(1)).string()), readFile(file("other.csv")));

    // The default root is the file-system root.
    CGZipFiles plain;
    plain.ZipFileName(archive);
    plain.AddFile(abs);
    EXPECT_EQ(plain.MakeZipFile(), 0);
    EXPECT_EQ(listed(archive), (Names{abs.substr(1)}));
}

TEST_F(LibzipArchiverTest, ALowerCaseRootIsFoundAsWritten) {
    fs::create_directories(tree / "exports" / "daily");
    writeFile(file("exports/daily/orders.csv"), textData(100));
    zip.RootDirectory(file("exports"));
    EXPECT_EQ(make({"daily\\orders.csv"}), 0) << CGZipFiles::GetLastMessage();
    EXPECT_EQ(listed(archive), (Names{"daily/orders.csv"}));
    expectSameBytes(file("exports"));
}

TEST_F(LibzipArchiverTest, UpdateReplacesAndAddsAndKeepsTheRest) {
    EXPECT_EQ(make({"a.txt", "b.bin"}), 0);
    writeFile(file("a.txt"), "changed\n");
    zip.UpdatingZip(true);
    zip.RemoveFile("b.bin");
    zip.AddFile("other.csv");
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_TRUE(testedOk(archive));
    EXPECT_EQ(listed(archive), (Names{"a.txt", "b.bin", "other.csv"}));
    expectSameBytes(tree);  // a.txt holds the new text
    const std::string msg = CGZipFiles::GetLastMessage();
    EXPECT_THAT(msg, HasSubstr("updating: a.txt ("));
    EXPECT_THAT(msg, HasSubstr("  adding: other.csv ("));
    EXPECT_THAT(msg, Not(HasSubstr("b.bin")));

    // Without the flag the archive is made anew.
    zip.UpdatingZip(false);
    zip.RemoveFile("a.txt");
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(listed(archive), (Names{"other.csv"}));
}

TEST_F(LibzipArchiverTest, NothingMatchedIsCode12AndLeavesTheArchiveAlone) {
    zip.RecurseFolders(true);  // an empty name must not stand for the whole root
    EXPECT_EQ(make({"missing.txt", "*.nothing", ""}), 12);
    EXPECT_FALSE(fs::exists(archive));
    const std::string msg = CGZipFiles::GetLastMessage();
    EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: querty\n"));
    EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: missing.txt\n"));
    EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: *.nothing\n"));
    EXPECT_THAT(msg, HasSubstr("zip warning: name not matched: \n"));
    EXPECT_THAT(msg, HasSubstr("zip error: Nothing to do!"));

    writeFile(archive, "an older archive");
    zip.UpdatingZip(true);
    EXPECT_EQ(zip.MakeZipFile(), 12);
    zip.UpdatingZip(false);
    EXPECT_EQ(zip.MakeZipFile(), 12);
    EXPECT_EQ(readFile(archive), "an older archive");
}

// Running as root, permission bits do not stop us reading a file. Two entries
// that exist but cannot be opened as files stand in: a UNIX socket (open fails
// with ENXIO) and a symbolic link to nothing.
class UnreadableTest : public LibzipArchiverTest {
protected:
    UnreadableTest() {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string path = file("sub/sock");
        EXPECT_LT(path.size(), sizeof addr.sun_path);
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
        fs::create_symlink(file("gone.txt"), file("sub/dangling.txt"));
    }
};

TEST_F(UnreadableTest, UnreadableFilesAreSkippedWithCode18) {
    EXPECT_EQ(make({"a.txt", "sub/sock", "sub/dangling.txt"}), 18);
    EXPECT_TRUE(testedOk(archive));
    EXPECT_EQ(listed(archive), (Names{"a.txt"}));
    expectSameBytes(tree);
    const std::string msg = CGZipFiles::GetLastMessage();
    EXPECT_THAT(msg, HasSubstr("zip warning: could not open for reading: " + file("sub/sock") + " ("));
    EXPECT_THAT(msg, HasSubstr("zip warning: could not open for reading: " + file("sub/dangling.txt") + " ("));
    EXPECT_THAT(msg, HasSubstr("zip warning: Not all files were readable\n"));
    EXPECT_THAT(msg, Not(HasSubstr("name not matched: sub/sock")));
}

TEST_F(UnreadableTest, ARecursiveRunSkipsThemToo) {
    zip.RecurseFolders(true);
    EXPECT_EQ(make({"sub"}), 18);
    EXPECT_EQ(listed(archive),
              (Names{"sub/", "sub/c.csv", "sub/deep/", "sub/deep/d.txt", "sub/deep/empty.txt"}));
    expectSameBytes(tree);
}

TEST_F(UnreadableTest, OnlyUnreadableFilesMeanNothingToDoButStillCode18) {
    writeFile(archive, "an older archive");
    EXPECT_EQ(make({"sub/sock"}), 18);
    EXPECT_EQ(readFile(archive), "an older archive");
}

TEST_F(LibzipArchiverTest, AnArchiveThatCannotBeWrittenIsCode15) {
    zip.ZipFileName(file("no/such/folder/out.zip"));
    EXPECT_EQ(make({"a.txt"}), 15);
    EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip error: "));

    zip.ZipFileName("");
    EXPECT_EQ(zip.MakeZipFile(), 15);
    EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip error: "));

    // Something that is no archive is not updated, nor lost.
    zip.ZipFileName(archive);
    writeFile(archive, "not a zip archive");
    zip.UpdatingZip(true);
    EXPECT_EQ(zip.MakeZipFile(), 15);
    EXPECT_EQ(readFile(archive), "not a zip archive");
}

TEST_F(LibzipArchiverTest, TheHostsLoopRunsWhileTheArchiveIsWritten) {
    int duringWrite = 0, afterwards = 0;
    CGZipFiles::setMessagePump([&] {
        (CGZipFiles::GetLastMessage().find("adding:") == std::string::npos ? duringWrite : afterwards)++;
    });
    EXPECT_EQ(make({"a.txt", "b.bin"}), 0);
    CGZipFiles::setMessagePump(nullptr);
    EXPECT_GE(duringWrite, 2);  // the unmatched placeholder's line, then libzip at work
    EXPECT_EQ(afterwards, 2);   // one per "adding:" line
}

TEST_F(LibzipArchiverTest, AFileThatFailsWhileReadFailsTheRunAndKeepsTheArchive) {
    EXPECT_EQ(make({"a.txt"}), 0);
    const std::string before = readFile(archive);
    // Opens like a file, but reading it from the start fails with EIO.
    zip.AddFile("/proc/self/mem");
    EXPECT_EQ(zip.MakeZipFile(), 18);
    EXPECT_THAT(CGZipFiles::GetLastMessage(), HasSubstr("zip error: could not read /proc/self/mem: "));
    EXPECT_EQ(readFile(archive), before);
    zip.UpdatingZip(true);
    EXPECT_EQ(zip.MakeZipFile(), 18);
    EXPECT_EQ(readFile(archive), before);
    EXPECT_EQ(work.names(), (std::set<std::string>{"out.zip", "tree"}));
}

// Makes the archive in a child process whose files may not grow past 64 KiB,
// so that writing the new archive fails part-way; the child's result code.
int makeWithSmallFileLimit(CGZipFiles& zip) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG
        rlimit lim{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        int rc = 99;
        try {
            rc = zip.MakeZipFile();
        } catch (...) {
        }
        ::_exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(LibzipArchiverTest, AFailedUpdateOrRebuildKeepsThePreviousArchive) {
    writeFile(file("big.bin"), binaryData(300000, 11));
    EXPECT_EQ(make({"a.txt", "other.csv"}), 0);
    const std::string before = readFile(archive);
    const Names beforeNames = listed(archive);

    zip.UpdatingZip(true);
    zip.AddFile("big.bin");
    EXPECT_EQ(makeWithSmallFileLimit(zip), 15);
    EXPECT_EQ(readFile(archive), before);
    EXPECT_TRUE(testedOk(archive));
    EXPECT_EQ(listed(archive), beforeNames);

    zip.UpdatingZip(false);
    EXPECT_EQ(makeWithSmallFileLimit(zip), 15);
    EXPECT_EQ(readFile(archive), before);
    // No temporary file is left beside it.
    EXPECT_EQ(work.names(), (std::set<std::string>{"out.zip", "tree"}));
}

TEST(LibzipArchiverLevel, LevelZeroIsTheDefaultDeflateLevelSix) {
    TempDir dir;
    writeFile(dir.file("t.txt"), textData(20000));
    auto sizeAt = [&](uint8_t level) {
        LibzipArchiver a;
        a.init(CGZipFiles::callbacks());
        ZipOptions o;
        o.level = level;
        o.rootDir = dir.path().string();
        a.setOptions(o);
        ZipNameList names;
        names[0] = "t.txt";
        const std::string out = dir.file("l" + std::to_string(level) + ".zip");
        EXPECT_EQ(a.archive(1, out, names), 0);
        EXPECT_TRUE(testedOk(out));
        return fs::file_size(out);
    };
    const auto def = sizeAt(0);
    EXPECT_EQ(def, sizeAt(6));
    EXPECT_NE(def, sizeAt(1));
}

TEST(ZipExampleProgram, MakesTheArchiveAndExitsWithTheResult) {
    TempDir dir;
    fs::create_directories(dir.path() / "data" / "more");
    writeFile(dir.file("data/one.csv"), textData(30));
    writeFile(dir.file("data/more/two.csv"), textData(40));
    const std::string bin = VARNELO_ZIP_EXAMPLE_BIN;
    const std::string out = dir.file("ex.zip");
    std::string log;
    EXPECT_EQ(sh(shq(bin) + " " + shq(out) + " --recurse --root " + shq(dir.path().string()) + " data", &log),
              0);
    EXPECT_THAT(log, HasSubstr("  adding: data/more/two.csv (deflated "));
    EXPECT_THAT(log, Not(HasSubstr("querty")));
    EXPECT_EQ(listed(out), (Names{"data/", "data/one.csv", "data/more/", "data/more/two.csv"}));

    // Relative names without --root are the current folder's.
    EXPECT_EQ(sh("cd " + shq(dir.file("data")) + " && " + shq(bin) + " ../ex2.zip one.csv nothing", &log), 0);
    EXPECT_THAT(log, HasSubstr("zip warning: name not matched: nothing"));
    EXPECT_EQ(listed(dir.file("ex2.zip")), (Names{"one.csv"}));

    EXPECT_EQ(sh(shq(bin) + " " + shq(out) + " nothing", &log), 12);

    std::string many;
    for (int i = 0; i < 101; ++i) many += " f" + std::to_string(i);
    EXPECT_EQ(sh(shq(bin) + " " + shq(out) + many, &log), 1);
    EXPECT_THAT(log, HasSubstr("Subscript out of range"));
}

}  // namespace
}  // namespace varnelo
