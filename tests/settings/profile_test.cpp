// The profile file: the classic read semantics, in-place updates that keep
// everything else, refused line breaks and whole-file replacement.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/profile.h"
#include "support/test_support.h"

namespace {

using namespace varnelo::platform;
using namespace varnelo::testing_support;

// Names match in any case, blanks go, one pair of quotes comes off, the first
// of two keys wins, comments are no keys; values are cut to 254 bytes on a
// whole character (bytes that are not UTF-8 pass through).
TEST(ProfileRead, ClassicSemantics) {
    const std::string utf8 = std::string(253, 'b') + "\xC3\xA9\xC3\xA9";  // byte 254 falls inside the first é
    const ProfileFile f = ProfileFile::parse(
        "; a comment=with an equals sign\r\n[Other]\r\nKey=from another section\r\n[varnelo]\r\n"
        "  Padded  =   both sides blank\t \r\nQuoted=\"  kept inside  \"\r\nSingle='x'\r\nHalf=\"only one\r\n"
        "Twice=\"\"x\"\"\r\nEmpty=\r\nKEY=first\r\nkey=second\r\n# Hidden=comment\r\nNoEquals\r\nEq=a=b\r\nA=" +
        std::string(300, 'a') + "\r\nU=" + utf8 + "\r\nBin=\xFF\xFE\x80 raw\r\n");
    const std::pair<const char*, std::string> cases[] = {
        {"Padded", "both sides blank"}, {"Quoted", "  kept inside  "}, {"Single", "x"},  {"Half", "\"only one"},
        {"Twice", "\"x\""},             {"Empty", ""},                  {"key", "first"}, {"Eq", "a=b"},
        {"Hidden", "dflt"},             {"NoEquals", "dflt"},           {"Missing", "dflt"},
        {"A", std::string(254, 'a')},   {"U", std::string(253, 'b')},   {"Bin", "\xFF\xFE\x80 raw"}};
    for (const auto& [key, expected] : cases) EXPECT_EQ(f.get("Varnelo", key, "dflt"), expected) << key;
    EXPECT_EQ(f.get("Other", "Key", "d") + "|" + f.get("Nowhere", "Key", "d"), "from another section|d");
    EXPECT_EQ(f.get("S", "None", std::string(300, 'a')), std::string(254, 'a'));
    TempDir dir;
    EXPECT_EQ(getPrivateProfileString("Varnelo", "Key", "none", dir.file("absent.ini")), "none");
}

// A key is replaced on its own line or added at the end of its section; a
// new file (LF ends) gets a private folder.
TEST(ProfileWrite, UpdatesInPlaceAndKeepsEverythingElse) {
    TempDir dir;
    const std::string path = dir.file("Varnelo.ini");
    writeFile(path,
              "; settings\r\n[Varnelo]\r\nFormat= 1\r\n; keep me\r\nQuotes= 0\r\n\r\n[Foreign]\r\nFormat=9\r\n");
    ASSERT_EQ(updateProfile(path, "Varnelo", {{"format", " 4"}, {"NewKey", "v"}}), 0);
    ASSERT_TRUE(writePrivateProfileString("Added", "K", "1", path));
    EXPECT_EQ(readFile(path), "; settings\r\n[Varnelo]\r\nformat= 4\r\n; keep me\r\nQuotes= 0\r\nNewKey=v\r\n\r\n"
                              "[Foreign]\r\nFormat=9\r\n[Added]\r\nK=1\r\n");
    const std::string fresh = dir.file("a/b/new.ini");
    ASSERT_TRUE(writePrivateProfileString("Varnelo", "K", "v", fresh));
    EXPECT_EQ(readFile(fresh), "[Varnelo]\nK=v\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

// A value with a line break (or a bad key name) is refused: no line of its own.
TEST(ProfileWrite, AValueCannotPlantALineOfItsOwn) {
    TempDir dir;
    const std::string path = dir.file("Varnelo.ini");
    writeFile(path, "[Varnelo]\nFieldSeparator=;\nQuotes= 0\n");
    std::vector<std::string> refused;
    ASSERT_EQ(updateProfile(path, "Varnelo",
                            {{"FieldSeparator", ",\r\nQuotes=1"}, {"DelimChar", "x\n[Evil]"}, {"Nul", std::string("a\0b", 3)},
                             {"Bad=Key", "1"}, {"Quotes", " 1"}},
                            &refused),
              0);
    EXPECT_EQ(refused, (std::vector<std::string>{"FieldSeparator", "DelimChar", "Nul", "Bad=Key"}));
    EXPECT_EQ(readFile(path), "[Varnelo]\nFieldSeparator=;\nQuotes= 1\n");
}

// A folder that is a file, or a settings file that is no regular file: an
// error, and nothing is created or replaced.
TEST(ProfileWrite, FailuresLeaveTheOldFile) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    EXPECT_EQ(updateProfile(dir.file("plain/Varnelo.ini"), "S", {{"K", "v"}}), ENOTDIR);
    ASSERT_EQ(::mkfifo(dir.file("fifo.ini").c_str(), 0600), 0);
    EXPECT_NE(updateProfile(dir.file("fifo.ini"), "S", {{"K", "v"}}), 0);
    EXPECT_EQ(dir.names(), (std::set<std::string>{"plain", "fifo.ini"}));
}

// A writer killed at any point leaves the old file or the new one whole,
// and a reader never sees anything else.
TEST(ProfileWrite, AKilledWriterLeavesAWholeFile) {
    TempDir dir;
    const std::string path = dir.file("Varnelo.ini");
    const std::string big(200000, 'v');
    ASSERT_EQ(updateProfile(path, "Varnelo", {{"Value", "old"}}), 0);
    for (int round = 0; round < 20; ++round) {
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            for (int i = 0;; ++i) updateProfile(path, "Varnelo", {{"Value", i % 2 ? big : "small"}});
        ::usleep(static_cast<useconds_t>(2000 + round * 500));
        for (int reads = 0; reads < 20; ++reads) {
            const std::string v = getPrivateProfileString("Varnelo", "Value", "MISSING", path);
            EXPECT_TRUE(v == "old" || v == "small" || v == big.substr(0, 254)) << v.substr(0, 20);
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string text = readFile(path);
        EXPECT_TRUE(text == "[Varnelo]\nValue=old\n" || text == "[Varnelo]\nValue=small\n" ||
                    text == "[Varnelo]\nValue=" + big + "\n")
            << text.size();
    }
    // Temporaries of killed writers may stay, hidden.
    for (const auto& name : dir.names()) EXPECT_TRUE(name == "Varnelo.ini" || name.starts_with(".Varnelo.ini.")) << name;
}

}  // namespace
