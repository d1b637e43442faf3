// ScratchFile: data held back in an unnamed file and appended to an output.
#include "writers/scratch_file.h"

#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include "support/file_faults.h"
#include "support/test_support.h"

namespace varnelo {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace testing_support;

std::string rows(int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += "row " + std::to_string(i) + "\n";
    return s;
}

TEST(ScratchFile, AppendsItsWholeContentAfterWhatTheOutputHasPendingByEveryRoute) {
    struct Route { const char* name; const char* expectedCall; bool noKernelCopy, noSendfile; };
    const Route routes[] = {{"copy_file_range", "copy_file_range", false, false},
                            {"sendfile", "sendfile", true, false},
                            {"read and write", "pread", true, true}};
    const std::string data = rows(5000);
    for (const Route& r : routes) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(r.name) + (named ? ", named scratch" : ", unnamed scratch"));
            TempDir dir;
            const std::string target = dir.file("out.ctl");
            FileFaults faults;
            faults.refuseUnnamed(named);
            if (r.noKernelCopy)
                fileOps().copyFileRange = [](int, off_t*, int, off_t*, size_t, unsigned) -> ssize_t {
                    errno = EXDEV;
                    return -1;
                };
            if (r.noSendfile)
                fileOps().sendfile = [](int, int, off_t*, size_t) -> ssize_t {
                    errno = EINVAL;
                    return -1;
                };
            ScratchFile scratch(target, 100);
            for (int i = 0; i < 5000; ++i) {
                scratch.buffer() += "row " + std::to_string(i) + "\n";
                scratch.flushIfFull();
            }
            EXPECT_EQ(scratch.size(), data.size());
            EXPECT_THAT(dir.names(), IsEmpty());  // never a name in the folder

            OutputFile out(target);
            out.buffer() = "LOAD DATA\n";  // the head, still pending
            scratch.copyTo(out);
            out.write("--\n");
            scratch.copyTo(out);  // the scratch file keeps its content
            out.commit();
            EXPECT_EQ(readFile(target), "LOAD DATA\n" + data + "--\n" + data);
            EXPECT_THAT(faults.calls(), Contains(r.expectedCall));
            EXPECT_THAT(dir.names(), ElementsAre("out.ctl"));
        }
    }

    // A pipe gets plain writes.
    TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return readFile(fifo); });
    {
        ScratchFile scratch(dir.file("pipe.data"));
        scratch.write(data);
        OutputFile out(fifo);
        out.write("head\n");
        scratch.copyTo(out);
        out.commit();
    }
    EXPECT_EQ(reader.get(), "head\n" + data);
    EXPECT_THAT(dir.names(), ElementsAre("pipe"));
}

// Every file operation of a scratch-then-copy export, made to fail in turn.
TEST(ScratchFile, EveryFailingOperationKeepsTheOldFileAndNamesWhatFailed) {
    const std::string data = rows(3000);
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named temporaries" : "unnamed temporaries");
        TempDir dir;
        const std::string target = dir.file("out.ctl");
        const int points = failEveryOperation(target, "old", [&] {
            ScratchFile scratch(target, 4096);
            scratch.write(data);
            OutputFile out(target);
            out.write("head\n");
            scratch.copyTo(out);
            out.commit();
        }, named);
        EXPECT_GT(points, 8);
    }
}

}  // namespace
}  // namespace varnelo
