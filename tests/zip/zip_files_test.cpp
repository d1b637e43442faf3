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
using ::testing::ElementsAreArray;
using testing_support::errorOf;

// Keeps what each call received; prints `messages` and returns `result`.
class RecordingArchiver : public Archiver {
public:
    int init(const ZipUserFunctions& callbacks) override {
        calls.push_back("init");
        this->callbacks = callbacks;
        return 0;
    }
    int setOptions(const ZipOptions& options) override {
        calls.push_back("setOptions");
        this->options = options;
        return 0;
    }
    int archive(int count, const std::string& zipName, const ZipNameList& names) override {
        calls.push_back("archive");
        this->count = count;
        this->zipName = zipName;
        this->names = names;
        if (throwOnArchive) throw std::runtime_error("archiver crashed");
        for (const auto& m : messages) callbacks.print(m.c_str(), static_cast<unsigned long>(m.size()));
        return result;
    }

    std::vector<std::string> calls;
    ZipUserFunctions callbacks;
    ZipOptions options;
    int count = -1;
    std::string zipName;
    ZipNameList names;
    std::vector<std::string> messages;
    int result = 0;
    bool throwOnArchive = false;
};

// The option record's flags in their documented order (1 to 27).
const std::array<int32_t ZipOptions::*, 27> kFlagsInOrder = {
    &ZipOptions::suffixes,      &ZipOptions::encrypt,       &ZipOptions::systemFiles,
    &ZipOptions::volumeLabel,   &ZipOptions::extraAttributes, &ZipOptions::noDirEntries,
    &ZipOptions::excludeDate,   &ZipOptions::includeDate,   &ZipOptions::verbose,
    &ZipOptions::quiet,         &ZipOptions::crlfToLf,      &ZipOptions::lfToCrlf,
    &ZipOptions::junkDirNames,  &ZipOptions::recurse,       &ZipOptions::grow,
    &ZipOptions::force,         &ZipOptions::move,          &ZipOptions::deleteEntries,
    &ZipOptions::update,        &ZipOptions::freshen,       &ZipOptions::junkSfxPrefix,
    &ZipOptions::latestTime,    &ZipOptions::comment,       &ZipOptions::offsets,
    &ZipOptions::privileges,    &ZipOptions::encryptionSupported, &ZipOptions::repair,
};

// Flag number (1-based) -> value, for every flag that is not 0.
std::vector<std::pair<int, int32_t>> setFlags(const ZipOptions& o) {
    std::vector<std::pair<int, int32_t>> out;
    for (size_t i = 0; i < kFlagsInOrder.size(); ++i) {
        if (o.*kFlagsInOrder[i] != 0) out.emplace_back(static_cast<int>(i + 1), o.*kFlagsInOrder[i]);
    }
    return out;
}

class ZipFilesTest : public ::testing::Test {
protected:
    ZipFilesTest() : zip(rec) { CGZipFiles::setMessagePump(nullptr); }
    ~ZipFilesTest() override { CGZipFiles::setMessagePump(nullptr); }

    std::shared_ptr<RecordingArchiver> rec = std::make_shared<RecordingArchiver>();
    CGZipFiles zip;
};

TEST_F(ZipFilesTest, NewInstanceHasItsInitialValues) {
    EXPECT_EQ(zip.ZipFileCount(), 0);
    EXPECT_EQ(zip.RootDirectory(), "\\");
    EXPECT_EQ(zip.ZipFileName(), "");
    EXPECT_FALSE(zip.RecurseFolders());
    EXPECT_FALSE(zip.Encrypted());
    EXPECT_FALSE(zip.IncludeSystemFiles());
    EXPECT_FALSE(zip.UpdatingZip());
    EXPECT_THAT(zip.names(), ElementsAre("querty"));
}

TEST_F(ZipFilesTest, PropertiesReadBackWhatWasWritten) {
    zip.RecurseFolders(true);
    zip.Encrypted(true);
    zip.IncludeSystemFiles(true);
    zip.UpdatingZip(true);
    zip.ZipFileName("/tmp/out.zip");
    zip.RootDirectory("/srv/data");
    EXPECT_TRUE(zip.RecurseFolders());
    EXPECT_TRUE(zip.Encrypted());
    EXPECT_TRUE(zip.IncludeSystemFiles());
    EXPECT_TRUE(zip.UpdatingZip());
    EXPECT_EQ(zip.ZipFileName(), "/tmp/out.zip");
    EXPECT_EQ(zip.RootDirectory(), "/srv/data");
    zip.RecurseFolders(false);
    zip.UpdatingZip(false);
    EXPECT_FALSE(zip.RecurseFolders());
    EXPECT_FALSE(zip.UpdatingZip());
}

TEST_F(ZipFilesTest, AddingANameTwiceInAnyCaseFailsAndKeepsTheList) {
    EXPECT_TRUE(zip.AddFile("a.txt").isEmpty());
    Error e = errorOf([&] { zip.AddFile("a.txt"); });
    EXPECT_EQ(e.number(), -2147219503);
    EXPECT_EQ(e.source(), "CGZip::AddFile");
    EXPECT_EQ(e.description(), "File is already in Zip List");
    e = errorOf([&] { zip.AddFile("A.TXT"); });
    EXPECT_EQ(e.number(), -2147219503);
    e = errorOf([&] { zip.AddFile("Zo\xC3\xAB.txt"); zip.AddFile("ZO\xC3\x8B.TXT"); });
    EXPECT_EQ(e.description(), "File is already in Zip List");
    EXPECT_THAT(zip.names(), ElementsAre("querty", "a.txt", "Zo\xC3\xAB.txt"));
    EXPECT_EQ(zip.ZipFileCount(), 2);
}

TEST_F(ZipFilesTest, RemovingANameNotInTheListFails) {
    const Error e = errorOf([&] { zip.RemoveFile("never.txt"); });
    EXPECT_EQ(e.number(), -2147219502);
    EXPECT_EQ(e.source(), "CGZip::RemoveFile");
    EXPECT_EQ(e.description(), "File is not in Zip List");
    EXPECT_THAT(zip.names(), ElementsAre("querty"));
}

TEST_F(ZipFilesTest, RemoveFindsANameInAnyCaseAndFreesIt) {
    zip.AddFile("Report.CSV");
    zip.AddFile("b.txt");
    EXPECT_TRUE(zip.RemoveFile("report.csv").isEmpty());
    EXPECT_THAT(zip.names(), ElementsAre("querty", "b.txt"));
    EXPECT_EQ(zip.ZipFileCount(), 1);
    zip.AddFile("report.csv");  // free to come back
    EXPECT_THAT(zip.names(), ElementsAre("querty", "b.txt", "report.csv"));
}

TEST_F(ZipFilesTest, ThePlaceholderIsAnEntryOfTheList) {
    EXPECT_EQ(errorOf([&] { zip.AddFile("querty"); }).description(), "File is already in Zip List");
    EXPECT_EQ(errorOf([&] { zip.AddFile("QUERTY"); }).description(), "File is already in Zip List");
    zip.AddFile("a.txt");
    zip.RemoveFile("querty");
    EXPECT_THAT(zip.names(), ElementsAre("a.txt"));
    // The count is of the names added, with or without the placeholder.
    EXPECT_EQ(zip.ZipFileCount(), 1);
    zip.MakeZipFile();
    EXPECT_EQ(rec->count, 1);
    EXPECT_EQ(rec->names[0], "a.txt");
    // Added back by the host, it is one of the host's names.
    zip.AddFile("querty");
    EXPECT_EQ(zip.ZipFileCount(), 2);
}

TEST_F(ZipFilesTest, TheArchiverGetsThePlaceholderAndTheNamesInOrder) {
    zip.ZipFileName("out.zip");
    zip.AddFile("c.txt");
    zip.AddFile("a.txt");
    zip.AddFile("dir\\b.txt");
    EXPECT_EQ(zip.ZipFileCount(), 3);
    rec->result = 18;
    EXPECT_EQ(zip.MakeZipFile(), 18);
    EXPECT_THAT(rec->calls, ElementsAre("init", "setOptions", "archive"));
    EXPECT_EQ(rec->count, 4);
    EXPECT_EQ(rec->zipName, "out.zip");
    EXPECT_EQ(rec->names[0], "querty");
    EXPECT_EQ(rec->names[1], "c.txt");
    EXPECT_EQ(rec->names[2], "a.txt");
    EXPECT_EQ(rec->names[3], "dir\\b.txt");
    EXPECT_EQ(rec->names[4], "");
}

TEST_F(ZipFilesTest, NinetyNineNamesFitAndAHundredthFailsWithoutCallingTheArchiver) {
    for (int i = 1; i <= 99; ++i) zip.AddFile("f" + std::to_string(i));
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(rec->count, 100);
    EXPECT_EQ(rec->names[99], "f99");

    rec->messages = {"from the last run\n"};
    zip.MakeZipFile();
    rec->calls.clear();
    zip.AddFile("f100");  // adding is not limited ...
    EXPECT_EQ(zip.ZipFileCount(), 100);
    const Error e = errorOf([&] { zip.MakeZipFile(); });  // ... making is
    EXPECT_EQ(e.number(), err::kSubscriptOutOfRange);
    EXPECT_EQ(e.source(), "CGZipFiles::MakeZipFile");
    EXPECT_EQ(e.description(), "Subscript out of range");
    EXPECT_TRUE(rec->calls.empty());
    // The failure comes before the message is cleared.
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "from the last run\n");

    zip.RemoveFile("f1");
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(rec->names[99], "f100");
}

TEST_F(ZipFilesTest, OnlyRecurseAndUpdateFlagsAreEverSet) {
    zip.Encrypted(true);
    zip.IncludeSystemFiles(true);
    zip.MakeZipFile();
    EXPECT_TRUE(setFlags(rec->options).empty());
    EXPECT_EQ(rec->options.level, 0);
    EXPECT_EQ(rec->options.date, "");

    zip.RecurseFolders(true);
    zip.MakeZipFile();
    EXPECT_THAT(setFlags(rec->options), ElementsAre(std::make_pair(14, 1)));

    zip.RecurseFolders(false);
    zip.UpdatingZip(true);
    zip.MakeZipFile();
    EXPECT_THAT(setFlags(rec->options), ElementsAre(std::make_pair(19, 1)));

    zip.RecurseFolders(true);
    zip.MakeZipFile();
    EXPECT_THAT(setFlags(rec->options), ElementsAre(std::make_pair(14, 1), std::make_pair(19, 1)));
}

TEST_F(ZipFilesTest, FlagsSitInTheirPlacesOfTheRecord) {
    // The archiver reads the record by position: flag n at byte 4(n-1).
    for (size_t i = 0; i < kFlagsInOrder.size(); ++i) {
        ZipOptions o;
        o.*kFlagsInOrder[i] = 1;
        int32_t raw[27];
        std::memcpy(raw, reinterpret_cast<const unsigned char*>(&o), sizeof raw);
        for (size_t k = 0; k < 27; ++k) EXPECT_EQ(raw[k], k == i ? 1 : 0) << "flag " << i + 1;
    }
}

TEST_F(ZipFilesTest, TheRootDirectoryReachesTheArchiverWithItsCaseKept) {
    zip.MakeZipFile();
    EXPECT_EQ(rec->options.rootDir, "\\");
    zip.RootDirectory("/home/ann/exports\\daily");
    zip.MakeZipFile();
    EXPECT_EQ(rec->options.rootDir, "/home/ann/exports\\daily");
}

TEST_F(ZipFilesTest, CallbacksAreThePrintPasswordAndCommentOnes) {
    zip.MakeZipFile();
    ASSERT_NE(rec->callbacks.print, nullptr);
    EXPECT_EQ(rec->callbacks.reserved, nullptr);
    char password[16] = "unchanged";
    EXPECT_EQ(rec->callbacks.password(password, sizeof password, "Enter password: ", "a.txt"), 1);
    EXPECT_STREQ(password, "unchanged");
    char comment[] = "old comment";
    EXPECT_EQ(rec->callbacks.comment(comment), comment);
    EXPECT_STREQ(comment, "old comment");
}

TEST_F(ZipFilesTest, PrintTakesTextUpToItsNulAndNeverPastTheLength) {
    zip.MakeZipFile();
    const char withNul[] = "kept\0dropped";
    EXPECT_EQ(rec->callbacks.print(withNul, sizeof withNul), 0);
    const char noNul[4] = {'a', 'b', 'c', 'd'};  // no NUL in the four bytes
    rec->callbacks.print(noNul, 2);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "keptab");
}

TEST_F(ZipFilesTest, EachPrintRunsTheThreadsPumpOnce) {
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

    // Another thread has no pump and a message of its own.
    std::thread([&] {
        auto other = std::make_shared<RecordingArchiver>();
        other->messages = {"elsewhere\n"};
        CGZipFiles z(other);
        z.MakeZipFile();
        EXPECT_EQ(CGZipFiles::GetLastMessage(), "elsewhere\n");
    }).join();
    EXPECT_EQ(pumped, 3);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "one\ntwo\n");

    CGZipFiles::setMessagePump([] { throw std::runtime_error("host failed"); });
    rec->messages = {"still\n"};
    EXPECT_EQ(zip.MakeZipFile(), 0);
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "still\n");
}

TEST_F(ZipFilesTest, LastMessageHoldsOnlyTheLastRunOfAnyInstanceOnTheThread) {
    rec->messages = {"first run\n"};
    zip.MakeZipFile();
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "first run\n");
    rec->messages = {"second ", "run\n"};
    zip.MakeZipFile();
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "second run\n");

    auto otherRec = std::make_shared<RecordingArchiver>();
    {
        CGZipFiles other(otherRec);
        otherRec->messages = {"other instance\n"};
        other.MakeZipFile();
    }
    // Outlives the instance that filled it, and reads the same from any.
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "other instance\n");
    std::string seen;
    std::thread([&] { seen = CGZipFiles::GetLastMessage(); }).join();
    EXPECT_EQ(seen, "");

    rec->messages = {};
    zip.MakeZipFile();
    EXPECT_EQ(CGZipFiles::GetLastMessage(), "");
}

TEST_F(ZipFilesTest, AnArchiverThatThrowsIsAnErrorNotASuccess) {
    rec->throwOnArchive = true;
    const Error e = errorOf([&] { zip.MakeZipFile(); });
    EXPECT_EQ(e.source(), "CGZipFiles::MakeZipFile");
    EXPECT_EQ(e.description(), "archiver crashed");
    EXPECT_NE(e.number(), 0);
}

TEST(ZipFilesNullArchiver, IsRefused) {
    EXPECT_EQ(errorOf([] { CGZipFiles z(nullptr); }).number(), err::kObjectNotSet);
}

}  // namespace
}  // namespace varnelo
