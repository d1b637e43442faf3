// OutputFile: all-or-nothing replacement of a writer's target.
#include "writers/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <future>
#include <thread>

#include "support/test_support.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using namespace testing_support;

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(OutputFile, NewFileAppearsOnlyAtCommit) {
    TempDir dir;
    const std::string target = dir.file("out.csv"), big(3 << 20, 'x');  // several buffers' worth
    const mode_t oldMask = ::umask(027);
    OutputFile f(target, {.syncBeforeRename = true});
    ::umask(oldMask);
    f.write("a,b\r\n");
    f.buffer() += big;
    f.flushIfFull();
    ASSERT_EQ(dir.names().size(), 1u);
    EXPECT_THAT(*dir.names().begin(), ::testing::StartsWith(".out.csv."));
    f.commit();
    EXPECT_EQ(readFile(target), "a,b\r\n" + big);
    EXPECT_EQ(modeOf(target), 0640u);
    EXPECT_THAT(dir.names(), ElementsAre("out.csv"));
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

TEST(OutputFile, FailuresCarryTheStandardNumberAndErrno) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    const struct { std::string path; int32_t number; int errnum; const char* text; } cases[] = {
        {dir.file("no/such/out.csv"), err::kPathNotFound, ENOENT, "Path not found"},
        {dir.file("plain/out.csv"), err::kPathNotFound, ENOTDIR, "Path not found"},
        {dir.path().string(), err::kPathFileAccess, EISDIR, "Path/File access error"},
        {"", err::kBadFileNameOrNumber, 0, "Bad file name or number"},
    };
    for (const auto& c : cases) {
        Error e = errorOf([&] { OutputFile f(c.path); });
        EXPECT_EQ(e.number(), c.number) << c.path;
        EXPECT_EQ(e.lastSystemError(), c.errnum) << c.path;
        EXPECT_EQ(e.description(), c.text) << c.path;
    }

    if (::geteuid() != 0) {  // root writes anywhere
        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        EXPECT_EQ(errorOf([&] { OutputFile f(dir.file("new.csv")); }).number(), err::kPathFileAccess);
        OutputFile f(dir.file("plain"));  // but an existing writable file there is written in place
        EXPECT_TRUE(f.direct());
        f.write("y");
        f.commit();
        EXPECT_EQ(readFile(dir.file("plain")), "y");
        ::chmod(dir.path().c_str(), 0755);
    }
    EXPECT_THAT(dir.names(), ElementsAre("plain"));
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

}  // namespace
}  // namespace varnelo
