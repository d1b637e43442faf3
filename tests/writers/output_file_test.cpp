// OutputFile: all-or-nothing replacement of a writer's target.
#include "writers/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

#include "support/file_faults.h"
#include "support/test_support.h"
#include "writers/temporary_names.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace testing_support;

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Runs `body` in a child process and returns its wait status.
int inChild(const std::function<void()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST(OutputFile, NewFileAppearsOnlyAtCommitAndReachesTheDiskFirst) {
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
        TempDir dir;
        FileFaults faults;
        faults.refuseUnnamed(named);
        const std::string target = dir.file("out.csv"), big(3 << 20, 'x');  // several buffers' worth
        const mode_t oldMask = ::umask(027);
        OutputFile f(target);
        ::umask(oldMask);
        EXPECT_EQ(f.unnamed(), !named);
        f.write("a,b\r\n");
        f.buffer() += big;
        f.flushIfFull();
        if (named) {
            ASSERT_EQ(dir.names().size(), 1u);
            EXPECT_THAT(*dir.names().begin(), ::testing::StartsWith(".out.csv."));
            EXPECT_EQ(temporary_names::liveCount(), 1);
        } else {
            EXPECT_THAT(dir.names(), IsEmpty());
            EXPECT_THAT(f.workingPath(), ::testing::StartsWith("/proc/self/fd/"));
        }
        // A library that opens the working path itself (as the xlsx writer
        // does) writes the same file.
        if (FILE* lib = std::fopen(f.workingPath().c_str(), "ab")) {
            std::fputs("|lib", lib);
            std::fclose(lib);
        } else {
            ADD_FAILURE() << "cannot open " << f.workingPath();
        }
        faults.reset();
        f.commit();
        EXPECT_EQ(readFile(target), "a,b\r\n" + big + "|lib");
        EXPECT_EQ(modeOf(target), 0640u);
        EXPECT_THAT(dir.names(), ElementsAre("out.csv"));
        EXPECT_EQ(temporary_names::liveCount(), 0);
        // The data is on the disk before the new name replaces the old, and
        // the folder after.
        if (named)
            EXPECT_THAT(faults.calls(), ElementsAre("fchmod", "fdatasync", "close", "renameat", "fsync", "close-folder"));
        else
            EXPECT_THAT(faults.calls(),
                        ElementsAre("fchmod", "fdatasync", "linkat", "close", "renameat", "fsync", "close-folder"));
    }
    TempDir dir;
    FileFaults faults;
    OutputFile f(dir.file("quick.csv"), {.syncBeforeRename = false});
    f.commit();
    EXPECT_THAT(faults.calls(), ElementsAre("openat-folder", "openat-tmpfile", "fchmod", "linkat", "close",
                                            "renameat", "close-folder"));
}

TEST(OutputFile, ReplacementFollowsLinksKeepsTheModeAndWaitsForCommit) {
    TempDir dir;
    const std::string target = dir.file("keep.txt"), link = dir.file("link.txt");
    std::filesystem::create_symlink(target, link);
    for (mode_t mode : {0600, 0755}) {
        writeFile(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        OutputFile f(link);
        f.write("new " + std::to_string(mode));
        f.commit();
        EXPECT_EQ(readFile(target), "new " + std::to_string(mode));
        EXPECT_EQ(modeOf(target), static_cast<unsigned>(mode));
        EXPECT_TRUE(std::filesystem::is_symlink(link));
    }
    {  // A failed export never commits: the old file stays, though data went past the buffer.
        OutputFile f(link);
        f.write(std::string(3 << 20, 'x'));
    }
    EXPECT_EQ(readFile(target), "new " + std::to_string(0755));
    EXPECT_THAT(dir.names(), ElementsAre("keep.txt", "link.txt"));
}

TEST(OutputFile, FailuresCarryTheStandardNumberTheErrnoAndWhatFailedOnWhichFile) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    const std::string noFolder = dir.file("no/such/out.csv"), underFile = dir.file("plain/out.csv");
    const struct { std::string path; int32_t number; int errnum; std::string text; } cases[] = {
        {noFolder, err::kPathNotFound, ENOENT, "Path not found (opening the folder of " + noFolder + ")"},
        {underFile, err::kPathNotFound, ENOTDIR, "Path not found (opening " + underFile + ")"},
        {dir.path().string(), err::kPathFileAccess, EISDIR, "Path/File access error (opening " + dir.path().string() + ")"},
        {"", err::kBadFileNameOrNumber, 0, "Bad file name or number"},
    };
    for (const auto& c : cases) {
        Error e = errorOf([&] { OutputFile f(c.path); });
        EXPECT_EQ(e.number(), c.number) << c.path;
        EXPECT_EQ(e.lastSystemError(), c.errnum) << c.path;
        EXPECT_EQ(e.description(), c.text) << c.path;
    }
    EXPECT_THAT(dir.names(), ElementsAre("plain"));
}

// Root may write anything, so the rules for ordinary users run in a child
// that has become one.
TEST(OutputFile, AFileOrFolderTheUserMayNotWriteIsRefusedAsOpeningWouldBe) {
    TempDir dir;
    const std::string locked = dir.file("locked.csv"), plain = dir.file("plain.csv");
    writeFile(locked, "kept");
    writeFile(plain, "x");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    auto body = [&] {
        Error e = errorOf([&] { OutputFile f(locked); });
        EXPECT_EQ(e.number(), err::kPathFileAccess);
        EXPECT_EQ(e.lastSystemError(), EACCES);
        EXPECT_EQ(e.description(), "Path/File access error (opening " + locked + " for writing)");
        EXPECT_EQ(readFile(locked), "kept");

        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        EXPECT_EQ(errorOf([&] { OutputFile f(dir.file("new.csv")); }).number(), err::kPathFileAccess);
        OutputFile f(plain);  // but an existing writable file there is written in place
        EXPECT_TRUE(f.direct());
        f.write("y");
        f.commit();
        EXPECT_EQ(readFile(plain), "y");
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    };
    if (::geteuid() != 0) {
        body();
    } else {
        ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(locked.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(plain.c_str(), 65534, 65534), 0);
        const int status = inChild([&] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(77);
            body();
        });
        if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become an ordinary user";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        ::chmod(dir.path().c_str(), 0700);
    }
    EXPECT_EQ(readFile(locked), "kept");
    EXPECT_THAT(dir.names(), ElementsAre("locked.csv", "plain.csv"));
}

TEST(OutputFile, TheDatabaseBeingReadIsNeverTheTarget) {
    TempDir dir;
    const std::string db = dir.file("data.db"), sym = dir.file("sym.db"), hard = dir.file("hard.db");
    writeFile(db, "SQLite format 3");
    writeFile(dir.file("data.db-wal"), "wal");
    std::filesystem::create_symlink(db, sym);
    std::filesystem::create_hard_link(db, hard);
    const int fd = ::open(db.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string viaProc = "/proc/self/fd/" + std::to_string(fd);  // would be written in place
    const OutputFile::Options reading{.filesBeingRead = {db, dir.file("data.db-wal")}};
    for (const std::string& target : {db, sym, hard, viaProc, dir.file("data.db-wal")}) {
        Error e = errorOf([&] { OutputFile f(target, reading); });
        EXPECT_EQ(e.number(), err::kPathFileAccess) << target;
        EXPECT_THAT(e.description(), HasSubstr("(" + target + " is the database being read")) << target;
    }
    ::close(fd);
    EXPECT_EQ(readFile(db), "SQLite format 3");
    EXPECT_EQ(readFile(dir.file("data.db-wal")), "wal");

    writeFile(dir.file("copy.db"), "SQLite format 3");  // same content, another file: fine
    OutputFile f(dir.file("copy.db"), reading);
    f.write("csv");
    f.commit();
    EXPECT_EQ(readFile(dir.file("copy.db")), "csv");
    EXPECT_THAT(dir.names(), ElementsAre("copy.db", "data.db", "data.db-wal", "hard.db", "sym.db"));
}

TEST(OutputFile, DevicesAndFifosAreWrittenDirectly) {
    OutputFile null("/dev/null");
    EXPECT_TRUE(null.direct());
    null.write(std::string(1 << 20, 'n'));
    null.commit();
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
    Error full = errorOf([] { OutputFile f("/dev/full"); f.write("data"); f.commit(); });
    EXPECT_EQ(full.number(), err::kDiskFull);
    EXPECT_EQ(full.lastSystemError(), ENOSPC);
    EXPECT_EQ(full.description(), "Disk full (writing /dev/full)");

    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return readFile(fifo); });
    {
        OutputFile f(fifo);
        EXPECT_TRUE(f.direct());
        f.write("through the pipe\n");
        f.commit();
    }
    EXPECT_EQ(reader.get(), "through the pipe\n");
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));

    // A reader that leaves gives an error, not a SIGPIPE that ends the process.
    std::promise<void> closed;
    std::thread quitter([&] { ::close(::open(fifo.c_str(), O_RDONLY)); closed.set_value(); });
    Error broken = errorOf([&] {
        OutputFile f(fifo);  // opens once the reader is there
        closed.get_future().wait();
        f.write("nobody reads this");
        f.commit();
    });
    quitter.join();
    EXPECT_EQ(broken.number(), err::kDeviceIoError);
    EXPECT_EQ(broken.lastSystemError(), EPIPE);
    EXPECT_THAT(dir.names(), ElementsAre("pipe"));
}

// A process that dies mid-export leaves no temporary: an unnamed one even
// under kill -9, a named one (or the moment of the unnamed one's name before
// the rename) on the signals whose handler the host installed.
TEST(OutputFile, NoTemporarySurvivesTheProcess) {
    struct Case { int sig; bool named; bool atRename; };
    const Case cases[] = {{SIGKILL, false, false}, {SIGTERM, true, false}, {SIGINT, true, false},
                          {SIGHUP, true, false},   {SIGTERM, false, true}, {SIGINT, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + (c.named ? ", named" : ", unnamed") +
                     (c.atRename ? ", at the rename" : ""));
        TempDir dir;
        const std::string target = dir.file("out.csv");
        writeFile(target, "old");
        static int sig;
        sig = c.sig;
        const int status = inChild([&] {
            OutputFile::removeTemporariesOnSignals();
            FileFaults faults;
            faults.refuseUnnamed(c.named);
            if (c.atRename) {
                fileOps().renameat = [](int, const char*, int, const char*) {
                    ::raise(sig);
                    return -1;
                };
            }
            OutputFile f(target);
            f.write(std::string(1 << 20, 'x'));
            f.flush();
            if (c.atRename) f.commit();
            ::raise(sig);
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << "status " << status;
        EXPECT_THAT(dir.names(), ElementsAre("out.csv"));
        EXPECT_EQ(readFile(target), "old");
    }
}

}  // namespace
}  // namespace varnelo
