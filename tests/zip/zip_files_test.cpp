// CGZipFiles with a recording archiver: the file list, what reaches the
// archiver, and the per-thread last message.
#include "varnelo/zip_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

// The error `action` raises, as "number source: description".
template <class F>
std::string failure(F&& action) {
    const Error e = testing_support::errorOf(action);
    return std::to_string(e.number()) + " " + e.source() + ": " + e.description();
}

// Keeps what each call received; prints `messages` and returns `result`.
struct RecordingArchiver : Archiver {
    int init(const ZipUserFunctions& c) override { calls.push_back("init"); callbacks = c; return 0; }
    int setOptions(const ZipOptions& o) override { calls.push_back("setOptions"); options = o; return 0; }
    int archive(int n, const std::string& zip, const ZipNameList& list) override {
        calls.push_back("archive");
        count = n;
        zipName = zip;
        names = list;
        if (throwOnArchive) throw std::runtime_error("archiver crashed");
        for (const auto& m : messages) callbacks.print(m.c_str(), static_cast<unsigned long>(m.size()));
        return result;
    }
    std::vector<std::string> calls, messages;
    ZipUserFunctions callbacks;
    ZipOptions options;
    int count = -1, result = 0;
    std::string zipName;
    ZipNameList names;
    bool throwOnArchive = false;
};

// The 27 flags as the archiver reads them, in their record order.
std::array<int32_t, 27> rawFlags(const ZipOptions& o) {
    std::array<int32_t, 27> raw;
    std::memcpy(raw.data(), reinterpret_cast<const unsigned char*>(&o), sizeof raw);
    return raw;
}

class ZipFilesTest : public ::testing::Test {
protected:
    ~ZipFilesTest() override { CGZipFiles::setMessagePump(nullptr); }

    std::shared_ptr<RecordingArchiver> rec = std::make_shared<RecordingArchiver>();
    CGZipFiles zip{rec};
};

TEST_F(ZipFilesTest, TheListStartsWithThePlaceholderAndComparesNamesInAnyCase) {
    EXPECT_EQ(zip.ZipFileCount(), 0);
    EXPECT_EQ(zip.RootDirectory(), "\\");
    EXPECT_EQ(zip.ZipFileName(), "");
    EXPECT_FALSE(zip.RecurseFolders() || zip.Encrypted() || zip.IncludeSystemFiles() || zip.UpdatingZip());
    EXPECT_THAT(zip.names(), ElementsAre("querty"));
    EXPECT_EQ(failure([] { CGZipFiles z(nullptr); }), "91 CGZipFiles: Object variable or With block variable not set");

    EXPECT_TRUE(zip.AddFile("Report.CSV").isEmpty());
    zip.AddFile("Zo\xC3\xAB.txt");
    for (const char* dup : {"Report.CSV", "report.csv", "ZO\xC3\x8B.TXT", "QUERTY"}) {
        EXPECT_EQ(failure([&] { zip.AddFile(dup); }), "-2147219503 CGZip::AddFile: File is already in Zip List");
    }
    EXPECT_EQ(failure([&] { zip.RemoveFile("never.txt"); }), "-2147219502 CGZip::RemoveFile: File is not in Zip List");
    EXPECT_THAT(zip.names(), ElementsAre("querty", "Report.CSV", "Zo\xC3\xAB.txt"));

    EXPECT_TRUE(zip.RemoveFile("REPORT.csv").isEmpty());
    zip.AddFile("report.csv");  // free to come back
    EXPECT_THAT(zip.names(), ElementsAre("querty", "Zo\xC3\xAB.txt", "report.csv"));
    EXPECT_EQ(zip.ZipFileCount(), 2);
}

TEST_F(ZipFilesTest, TheArchiverGetsTheNamesInOrderAndAtMostAHundred) {
    zip.ZipFileName("out.zip");
    ZipNameList want{"querty"};
    for (int i = 1; i <= 99; ++i) zip.AddFile(want[i] = i == 50 ? "Dir\\B.txt" : "f" + std::to_string(i));
    rec->result = 18;
    rec->messages = {"from the last run\n"};
    EXPECT_EQ(zip.MakeZipFile(), 18);
    EXPECT_THAT(rec->calls, ElementsAre("init", "setOptions", "archive"));
    EXPECT_EQ(rec->zipName, "out.zip");
    EXPECT_EQ(rec->count, 100);
    EXPECT_EQ(rec->names, want);

    rec->calls.clear();
    zip.AddFile("f100");  // adding is not limited, making is
    EXPECT_EQ(failure([&] { zip.MakeZipFile(); }), "9 CGZipFiles::MakeZipFile: Subscript out of range");
    EXPECT_TRUE(rec->calls.empty());
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "from the last run\n");  // failed before clearing it

    // Without the placeholder the host's names move up and all count.
    zip.RemoveFile("querty");
    zip.RemoveFile("f1");
    EXPECT_EQ(zip.ZipFileCount(), 99);
    zip.MakeZipFile();
    EXPECT_EQ(rec->count, 99);
    EXPECT_EQ(rec->names[0], "f2");
    EXPECT_EQ(rec->names[98], "f100");
    EXPECT_EQ(rec->names[99], "");
    zip.AddFile("querty");  // added back by the host, it is one of its names
    EXPECT_EQ(zip.ZipFileCount(), 100);

    rec->throwOnArchive = true;
    EXPECT_THAT(failure([&] { zip.MakeZipFile(); }),
                MatchesRegex("-?[1-9][0-9]* CGZipFiles::MakeZipFile: archiver crashed"));
}

TEST_F(ZipFilesTest, TheOptionRecordHoldsOnlyRecurseAndUpdateAndTheRootAsWritten) {
    // Kept by the properties, never asked of the archiver.
    zip.Encrypted(true);
    zip.IncludeSystemFiles(true);
    EXPECT_TRUE(zip.Encrypted() && zip.IncludeSystemFiles());
    zip.RootDirectory("/home/Ann/exports\\Daily");
    for (int run = 0; run < 4; ++run) {
        const bool recurse = run & 1, update = run & 2;
        zip.RecurseFolders(recurse);
        zip.UpdatingZip(update);
        ZipOptions want;
        want.recurse = recurse;
        want.update = update;
        zip.MakeZipFile();
        EXPECT_EQ(rawFlags(rec->options), rawFlags(want)) << "run " << run;
        EXPECT_EQ(rec->options.level, 0);
        EXPECT_EQ(rec->options.date, "");
        EXPECT_EQ(rec->options.rootDir, "/home/Ann/exports\\Daily");
    }
}

TEST_F(ZipFilesTest, CallbacksGiveNoPasswordKeepTheCommentAndPrintWithinTheLength) {
    zip.MakeZipFile();
    char password[16] = "unchanged";
    EXPECT_EQ(rec->callbacks.password(password, sizeof password, "Enter password: ", "a.txt"), 1);
    EXPECT_STREQ(password, "unchanged");
    char comment[] = "old comment";
    EXPECT_EQ(rec->callbacks.comment(comment), comment);
    EXPECT_STREQ(comment, "old comment");

    const char withNul[] = "kept\0dropped";
    EXPECT_EQ(rec->callbacks.print(withNul, sizeof withNul), 0);
    const char noNul[4] = {'a', 'b', 'c', 'd'};
    rec->callbacks.print(noNul, 2);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "keptab");
}

TEST_F(ZipFilesTest, LastMessageIsTheThreadsLastRunAndEachPrintRunsThePumpOnce) {
    int pumped = 0;
    std::string seenDuringPump;
    CGZipFiles::setMessagePump([&] {
        ++pumped;
        seenDuringPump = CGZipFiles::GetLastMessage();
    });
    rec->messages = {"one\n", "two\n", ""};
    zip.MakeZipFile();
    EXPECT_EQ(pumped, 3);
    EXPECT_EQ(seenDuringPump, "one\ntwo\n");
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "one\ntwo\n");

    std::thread([&] {  // a message of its own, and no pump
        EXPECT_EQ(CGZipFiles::GetLastMessage(), "");
        rec->messages = {"elsewhere\n"};
        CGZipFiles(rec).MakeZipFile();
        EXPECT_EQ(CGZipFiles::GetLastMessage(), "elsewhere\n");
    }).join();
    EXPECT_EQ(pumped, 3);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "one\ntwo\n");

    // Shared by the instances on the thread, and outliving them.
    rec->messages = {"other instance\n"};
    CGZipFiles(rec).MakeZipFile();
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "other instance\n");

    CGZipFiles::setMessagePump([] { throw std::runtime_error("host failed"); });
    rec->messages = {"still\n"};
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "still\n");
}

}  // namespace
}  // namespace varnelo
