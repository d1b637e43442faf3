// OutputFile: all-or-nothing replacement of a writer's target.
#include "writers/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "test_files.h"
#include "varnelo/error.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;
using testing_files::modeOf;
using testing_files::readFile;
using testing_files::TempDir;
using testing_files::writeFile;

// Sets the umask for one test and puts the old one back.
class UmaskScope {
public:
    explicit UmaskScope(mode_t m) : old_(::umask(m)) {}
    ~UmaskScope() { ::umask(old_); }

private:
    mode_t old_;
};

template <class F>
Error errorFrom(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e;
    }
    throw std::runtime_error("no varnelo::Error was thrown");
}

TEST(OutputFile, NewFileAppearsOnlyAtCommitWithUmaskMode) {
    TempDir dir;
    UmaskScope mask(027);
    const std::string target = dir.file("out.csv");
    {
        OutputFile f(target);
        EXPECT_FALSE(f.direct());
        f.write("a,b\r\n");
        f.buffer() += "1,2";
        f.flush();
        // While writing, only a hidden temporary stands beside the target.
        ASSERT_EQ(dir.names().size(), 1u);
        EXPECT_THAT(dir.names()[0], StartsWith(".out.csv."));
        EXPECT_FALSE(std::filesystem::exists(target));
        f.commit();
    }
    EXPECT_EQ(readFile(target), "a,b\r\n1,2");
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_THAT(dir.names(), ElementsAre("out.csv"));
}

TEST(OutputFile, ReplacementKeepsTheOldMode) {
    TempDir dir;
    const std::string target = dir.file("keep.txt");
    for (mode_t mode : {0600, 0755, 0604}) {
        writeFile(target, "old");
        ASSERT_EQ(::chmod(target.c_str(), mode), 0);
        OutputFile f(target);
        f.write("new");
        f.commit();
        EXPECT_EQ(readFile(target), "new");
        EXPECT_EQ(modeOf(target), static_cast<unsigned>(mode));
    }
}

TEST(OutputFile, WithoutCommitTheOldFileStaysAndTheTemporaryGoes) {
    TempDir dir;
    const std::string target = dir.file("report.csv");
    writeFile(target, "previous export");
    {
        OutputFile f(target);
        f.write(std::string(3 * 1024 * 1024, 'x'));  // well past the buffer: really written
        EXPECT_EQ(readFile(target), "previous export");
    }
    EXPECT_EQ(readFile(target), "previous export");
    EXPECT_THAT(dir.names(), ElementsAre("report.csv"));

    // The same when an exception leaves the writer.
    try {
        OutputFile f(target);
        f.write("half");
        f.flush();
        throw std::runtime_error("source failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(readFile(target), "previous export");
    EXPECT_THAT(dir.names(), ElementsAre("report.csv"));
}

TEST(OutputFile, SmallBufferWritesEveryPieceInOrder) {
    TempDir dir;
    const std::string target = dir.file("pieces.txt");
    std::string expected;
    {
        OutputFile::Options options;
        options.bufferSize = 7;
        options.syncBeforeRename = true;
        OutputFile f(target, options);
        for (int i = 0; i < 1000; ++i) {
            std::string piece = std::to_string(i) + ";";
            f.buffer() += piece;
            f.flushIfFull();
            expected += piece;
        }
        f.commit();
    }
    EXPECT_EQ(readFile(target), expected);
}

TEST(OutputFile, LinkIsFollowedAndKept) {
    TempDir dir;
    const std::string real = dir.file("real.csv");
    const std::string link = dir.file("link.csv");
    writeFile(real, "old");
    std::filesystem::create_symlink(real, link);
    OutputFile f(link);
    f.write("new");
    f.commit();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(real), "new");
}

TEST(OutputFile, FailuresCarryTheStandardNumberAndErrno) {
    TempDir dir;
    Error missing = errorFrom([&] { OutputFile f(dir.file("no/such/folder/out.csv")); });
    EXPECT_EQ(missing.number(), err::kPathNotFound);
    EXPECT_EQ(missing.description(), "Path not found");
    EXPECT_EQ(missing.lastSystemError(), ENOENT);

    writeFile(dir.file("plain"), "x");
    Error notFolder = errorFrom([&] { OutputFile f(dir.file("plain/out.csv")); });
    EXPECT_EQ(notFolder.number(), err::kPathNotFound);
    EXPECT_EQ(notFolder.lastSystemError(), ENOTDIR);

    Error folder = errorFrom([&] { OutputFile f(dir.path().string()); });
    EXPECT_EQ(folder.number(), err::kPathFileAccess);
    EXPECT_EQ(folder.lastSystemError(), EISDIR);

    EXPECT_EQ(errorFrom([] { OutputFile f(""); }).number(), err::kBadFileNameOrNumber);
    EXPECT_THAT(dir.names(), ElementsAre("plain"));
}

TEST(OutputFile, FolderWithoutWritePermission) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
    TempDir dir;
    const std::filesystem::path locked = dir.path() / "locked";
    std::filesystem::create_directory(locked);
    writeFile((locked / "mine.csv").string(), "old");
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);

    Error denied = errorFrom([&] { OutputFile f((locked / "new.csv").string()); });
    EXPECT_EQ(denied.number(), err::kPathFileAccess);
    EXPECT_EQ(denied.lastSystemError(), EACCES);

    // A writable file in such a folder is written in place, as a plain open would.
    OutputFile f((locked / "mine.csv").string());
    EXPECT_TRUE(f.direct());
    f.write("new");
    f.commit();
    EXPECT_EQ(readFile((locked / "mine.csv").string()), "new");
    ::chmod(locked.c_str(), 0755);
}

TEST(OutputFile, DevicesAreWrittenDirectly) {
    {
        OutputFile f("/dev/null");
        EXPECT_TRUE(f.direct());
        f.write(std::string(1 << 20, 'n'));
        f.commit();
    }
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));

    if (std::filesystem::exists("/dev/full")) {
        Error full = errorFrom([] {
            OutputFile f("/dev/full");
            f.write("data");
            f.commit();
        });
        EXPECT_EQ(full.number(), err::kDiskFull);
        EXPECT_EQ(full.lastSystemError(), ENOSPC);
    }
}

TEST(OutputFile, FifoIsWrittenDirectly) {
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
    EXPECT_THAT(dir.names(), ElementsAre("pipe"));
}

TEST(OutputFile, ReaderGoneIsAnErrorNotASignal) {
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::promise<void> closed;
    std::thread reader([&] {
        int fd = ::open(fifo.c_str(), O_RDONLY);
        ::close(fd);
        closed.set_value();
    });
    Error broken = errorFrom([&] {
        OutputFile f(fifo);  // opens once the reader is there
        closed.get_future().wait();
        f.write("nobody reads this");
        f.commit();
    });
    reader.join();
    EXPECT_EQ(broken.number(), err::kDeviceIoError);
    EXPECT_EQ(broken.lastSystemError(), EPIPE);
}

}  // namespace
}  // namespace varnelo
