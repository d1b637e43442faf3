// End to end with varnelo-export: settings kept in the settings file and in
// a bag file from one run to the next, whatever the run's result.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include "support/test_support.h"

namespace {

using namespace varnelo::testing_support;
using ::testing::HasSubstr;

std::pair<int, std::string> exportCli(const std::string& args) {
    return runShell(shellQuote(VARNELO_EXPORT_BIN) + " --quiet" + args);
}

std::string firstLine(const std::string& path) {
    const std::string text = readFile(path);
    return text.substr(0, text.find_first_of("\r\n"));
}

// The format of one run is the next run's.
TEST(SettingsCli, TheSettingsFileCarriesTheFormatToTheNextRun) {
    TempDir dir;
    const std::string settings = " --settings-dir " + shellQuote(dir.file("conf"));
    auto [status, out] = exportCli(settings + " --format tsv -o " + shellQuote(dir.file("one.txt")));
    ASSERT_EQ(status, 0) << out;
    EXPECT_THAT(readFile(dir.file("conf/Varnelo.ini")), HasSubstr("\nFormat= 1\n"));
    std::tie(status, out) = exportCli(settings + " -o " + shellQuote(dir.file("two.txt")));
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(firstLine(dir.file("two.txt")), firstLine(dir.file("one.txt")));
    EXPECT_THAT(firstLine(dir.file("two.txt")), HasSubstr("\t"));
}

// A private bag carries the output file and the mail settings.
TEST(SettingsCli, ABagKeepsTheOutputFileAndTheMailSettings) {
    TempDir dir;
    const std::string bag = dir.file("form.bag");
    const std::string common = " --settings-dir " + shellQuote(dir.path().string()) + " --bag " + shellQuote(bag);
    auto [status, out] = exportCli(common + " -o " + shellQuote(dir.file("kept.csv")) +
                                   " --set MailSMTPServer=smtp.example.org --set MailTo=ana@example.org"
                                   " --set MailPriority=1 --set " + shellQuote("MailMessage=two\nlines"));
    ASSERT_EQ(status, 0) << out;
    struct stat st {};
    ASSERT_EQ(::stat(bag.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_THAT(readFile(bag), HasSubstr("\nMailMessage\tstring\ttwo\\nlines\n"));

    ::unlink(dir.file("kept.csv").c_str());
    std::tie(status, out) = exportCli(common);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(std::filesystem::exists(dir.file("kept.csv")));
    std::tie(status, out) = exportCli(common + " --list-properties");
    ASSERT_EQ(status, 0) << out;
    EXPECT_THAT(out, HasSubstr("MailSMTPServer         String        smtp.example.org"));
    EXPECT_THAT(out, HasSubstr("MailTo                 String        ana@example.org"));
    EXPECT_THAT(out, ::testing::ContainsRegex("MailPriority +[A-Za-z]+ +1 "));
}

// A run that ends with a missing setting (2) or an error (1) still saves its
// settings; a store that cannot be written is a warning, not a failure.
TEST(SettingsCli, SettingsAreSavedWhateverTheResult) {
    TempDir dir;
    const std::string common = " --settings-dir " + shellQuote(dir.file("conf")) + " --bag " + shellQuote(dir.file("b"));
    auto [status, out] = exportCli(common + " --format sqlldr --set Quotes=1");  // no output file
    EXPECT_EQ(status, 2) << out;
    EXPECT_THAT(readFile(dir.file("conf/Varnelo.ini")), HasSubstr("\nQuotes= 1\nIncludeSQL= 0\nFormat= 7\n"));
    EXPECT_THAT(readFile(dir.file("b")), HasSubstr("\nFormat\tint32\t7\n"));
    std::tie(status, out) = exportCli(common + " --format csv --query 'SELECT * FROM no_such_table' -o " +
                                      shellQuote(dir.file("x.csv")));
    EXPECT_EQ(status, 1) << out;
    EXPECT_THAT(readFile(dir.file("conf/Varnelo.ini")), HasSubstr("\nFormat= 0\n"));

    writeFile(dir.file("file"), "");
    std::tie(status, out) = exportCli(" --settings-dir " + shellQuote(dir.file("file/conf")) + " --format csv -o " +
                                      shellQuote(dir.file("y.csv")));
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(std::filesystem::exists(dir.file("y.csv")));
    EXPECT_THAT(out, HasSubstr("warning: the settings file was not saved"));
    EXPECT_THAT(out, HasSubstr(dir.file("file/conf/Varnelo.ini")));
}

// A damaged bag stops the run naming file and line, and stays as it was.
TEST(SettingsCli, ADamagedBagStopsTheRunAndStaysAsItWas) {
    TempDir dir;
    const std::string damaged = "# Varnelo property bag 1\nFormat\tint32\tfour\nend\n";
    writeFile(dir.file("b"), damaged);
    auto [status, out] = exportCli(" --settings-dir " + shellQuote(dir.path().string()) + " --bag " +
                                   shellQuote(dir.file("b")) + " -o " + shellQuote(dir.file("z.csv")));
    EXPECT_EQ(status, 1);
    EXPECT_THAT(out, HasSubstr(dir.file("b") + ", line 2: \"four\" is no 32-bit integer"));
    EXPECT_EQ(readFile(dir.file("b")), damaged);
    EXPECT_FALSE(std::filesystem::exists(dir.file("z.csv")) || std::filesystem::exists(dir.file("Varnelo.ini")));
}

}  // namespace
