// OutputFile and ScratchFile; every file operation failing in turn is proved in control/export_file_faults_test.cpp.
#include "writers/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <future>
#include <thread>
#include <tuple>

#include "support/file_faults.h"
#include "support/test_support.h"
#include "writers/scratch_file.h"
#include "writers/temporary_names.h"

namespace varnelo {
namespace {

using namespace testing_support;
using ::testing::AllOf, ::testing::Contains, ::testing::ElementsAre, ::testing::HasSubstr, ::testing::Property;

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

// Nothing shows until commit, which keeps the old file's mode (a new one takes the umask's), puts the data on the
// disk before the new name replaces the old, and syncs the folder after; through a link the target is replaced.
TEST(OutputFile, ReplacesTheTargetOnlyAtCommit) {
    TempDir dir;
    const std::string target = dir.file("keep.txt"), link = dir.file("link.txt"), fresh = dir.file("new.csv");
    std::filesystem::create_symlink(target, link);
    writeFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0750), 0);
    {
        OutputFile f(link);
        f.write(std::string(3 << 20, 'x'));  // past the buffer, never committed
        EXPECT_THAT(dir.names(), ElementsAre("keep.txt", "link.txt"));
    }
    EXPECT_EQ(readFile(target), "old");
    FileFaults faults;
    OutputFile f(link);
    f.write("new");
    f.commit();
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0750));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_THAT(faults.calls(), ElementsAre("openat-folder", "openat-tmpfile", "write", "fchmod", "fdatasync", "linkat",
                                            "close", "renameat", "fsync", "close-folder"));
    const mode_t oldMask = ::umask(027);
    OutputFile(fresh).commit();
    ::umask(oldMask);
    EXPECT_EQ(std::filesystem::status(fresh).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(temporary_names::liveCount(), 0);
}

// A read-only file is refused though its folder would allow replacing it; run as an ordinary user (root writes all).
TEST(OutputFile, AFileTheUserMayNotWriteIsRefusedAsOpeningWouldBe) {
    TempDir dir;
    const std::string locked = dir.file("locked.csv");
    writeFile(locked, "kept");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    for (const std::string& p : {dir.path().string(), locked})
        ASSERT_TRUE(::geteuid() != 0 || ::chown(p.c_str(), 65534, 65534) == 0);
    const int status = inChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
        EXPECT_EQ(errorOf([&] { OutputFile f(locked); }).description(),
                  "Path/File access error (opening " + locked + " for writing)");
    });
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot become an ordinary user";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_EQ(readFile(locked), "kept");
}

// A folder is no target; nor is the database or a file beside it, under any name.
TEST(OutputFile, AFolderOrTheDatabaseBeingReadIsNeverTheTarget) {
    TempDir dir;
    Error e = errorOf([&] { OutputFile f(dir.file("")); });
    EXPECT_EQ(std::tuple(e.number(), e.lastSystemError(), e.description()),
              std::tuple(err::kPathFileAccess, EISDIR, "Path/File access error (opening " + dir.file("") + ")"));
    const std::string db = dir.file("data.db"), hard = dir.file("hard.db"), wal = dir.file("data.db-wal");
    writeFile(db, "SQLite format 3");
    writeFile(wal, "wal");
    std::filesystem::create_hard_link(db, hard);
    const OutputFile::Options reading{.filesBeingRead = {db, wal}};
    for (const std::string& target : {hard, wal})
        EXPECT_THAT(errorOf([&] { OutputFile f(target, reading); }),
                    AllOf(Property(&Error::number, err::kPathFileAccess),
                          Property(&Error::description, HasSubstr("(" + target + " is the database being read"))));
    EXPECT_EQ(readFile(db) + readFile(wal), "SQLite format 3wal");
    writeFile(dir.file("copy.db"), "SQLite format 3");  // same content, another file: fine
    OutputFile f(dir.file("copy.db"), reading);
    f.write("csv"), f.commit();
    EXPECT_EQ(readFile(dir.file("copy.db")), "csv");
}

// A reader that leaves a pipe gives an error, not a SIGPIPE that ends the process.
TEST(OutputFile, ABrokenPipeIsAnError) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> closed;
    std::thread quitter([&] { ::close(::open(fifo.c_str(), O_RDONLY)); closed.set_value(); });
    Error broken = errorOf([&] {
        OutputFile f(fifo);  // opens once the reader is there
        closed.get_future().wait();
        f.write("nobody reads this");
        f.commit();
    });
    quitter.join();
    EXPECT_EQ(std::pair(broken.number(), broken.lastSystemError()), std::pair(err::kDeviceIoError, EPIPE));
}

// A process dying mid-export leaves no temporary: unnamed even under kill -9, named on the host's handled signals.
TEST(OutputFile, NoTemporarySurvivesTheProcess) {
    struct Case { int sig; bool named, atRename; };
    const Case cases[] = {{SIGKILL, false, false}, {SIGHUP, true, false}, {SIGTERM, false, true}, {SIGINT, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.sig)) + (c.named ? ", named" : "") + (c.atRename ? ", at the rename" : ""));
        TempDir dir;
        const std::string target = dir.file("out.csv");
        writeFile(target, "old");
        static int sig;
        sig = c.sig;
        const int status = inChild([&] {
            OutputFile::removeTemporariesOnSignals();
            FileFaults faults;
            faults.refuseUnnamed(c.named);
            if (c.atRename) fileOps().renameat = [](int, const char*, int, const char*) { return ::raise(sig), -1; };
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

// By every copy route, the scratch file unnamed or (where refused) named and unlinked at once, the whole content lands
// after what the output has pending, and can be copied again; the data runs past the last route's 256 KiB buffer.
TEST(ScratchFile, AppendsItsWholeContentAfterWhatTheOutputHasPendingByEveryRoute) {
    std::string data;
    for (int i = 0; i < 30000; ++i) data += "row " + std::to_string(i) + "\n";
    const struct { const char* expectedCall; bool noKernelCopy, noSendfile; } routes[] = {
        {"copy_file_range", false, false}, {"sendfile", true, false}, {"pread", true, true}};
    for (const auto& r : routes)
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(r.expectedCall) + (named ? ", named scratch" : ""));
            TempDir dir;
            const std::string target = dir.file("out.ctl");
            FileFaults faults;
            faults.refuseUnnamed(named);
            if (r.noKernelCopy)
                fileOps().copyFileRange = [](int, off_t*, int, off_t*, size_t, unsigned) { return errno = EXDEV, -1L; };
            if (r.noSendfile) fileOps().sendfile = [](int, int, off_t*, size_t) { return errno = EINVAL, -1L; };
            ScratchFile scratch(target, 100);
            for (size_t at = 0; at < data.size(); at += 1000) {
                scratch.buffer() += data.substr(at, 1000);
                scratch.flushIfFull();
            }
            EXPECT_TRUE(dir.names().empty());
            OutputFile out(target);
            out.buffer() = "LOAD DATA\n";  // the head, still pending
            scratch.copyTo(out), out.write("--\n"), scratch.copyTo(out), out.commit();
            EXPECT_TRUE(readFile(target) == "LOAD DATA\n" + data + "--\n" + data);  // EXPECT_EQ's diff: too large
            EXPECT_THAT(faults.calls(), Contains(r.expectedCall));
            EXPECT_THAT(dir.names(), ElementsAre("out.ctl"));
        }
}

}  // namespace
}  // namespace varnelo
