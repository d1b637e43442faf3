// The profile file: the classic read semantics, in-place updates that keep
// everything else, refused line breaks, whole-file replacement, and readers
// that survive any damage.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "platform/profile.h"
#include "support/test_support.h"
#include "varnelo/bag_file.h"

namespace {

using namespace varnelo::platform;
using namespace varnelo::testing_support;

TEST(ProfileRead, ClassicSemantics) {
    const std::string text =
        "; a comment=with an equals sign\r\n"
        "[Other]\r\n"
        "Key=from another section\r\n"
        "[varnelo]\r\n"
        "  Padded  =   both sides blank\t \r\n"
        "Quoted=\"  kept inside  \"\r\n"
        "Single='x'\r\n"
        "Half=\"only one\r\n"
        "Twice=\"\"x\"\"\r\n"
        "Empty=\r\n"
        "KEY=first\r\n"
        "key=second\r\n"
        "# Hidden=comment\r\n"
        "NoEquals\r\n"
        "Eq=a=b\r\n";
    const ProfileFile f = ProfileFile::parse(text);
    const struct {
        const char* section;
        const char* key;
        std::string expected;
    } cases[] = {
        {"Varnelo", "Padded", "both sides blank"},   // names match in any case, blanks go
        {"Varnelo", "Quoted", "  kept inside  "},    // one pair of quotes stripped, inside untouched
        {"Varnelo", "Single", "x"},
        {"Varnelo", "Half", "\"only one"},
        {"Varnelo", "Twice", "\"x\""},
        {"Varnelo", "Empty", ""},
        {"Varnelo", "key", "first"},                 // the first of two wins
        {"Varnelo", "Eq", "a=b"},
        {"Varnelo", "Hidden", "dflt"},               // comments are no keys
        {"Varnelo", "NoEquals", "dflt"},
        {"Varnelo", "Missing", "dflt"},
        {"Nowhere", "Key", "dflt"},
        {"Other", "Key", "from another section"},
    };
    for (const auto& c : cases) EXPECT_EQ(f.get(c.section, c.key, "dflt"), c.expected) << c.key;

    TempDir dir;
    EXPECT_EQ(getPrivateProfileString("Varnelo", "Key", "none", dir.file("absent.ini")), "none");
}

TEST(ProfileRead, ValuesAreCutTo254BytesOnWholeCharacters) {
    const std::string ascii(300, 'a');
    std::string utf8(253, 'b');
    utf8 += "\xC3\xA9\xC3\xA9";  // é é: the 254th byte falls inside the first
    const ProfileFile f = ProfileFile::parse("[S]\nA=" + ascii + "\nU=" + utf8 + "\nBin=\xFF\xFE\x80 raw\n");
    EXPECT_EQ(f.get("S", "A", ""), std::string(254, 'a'));
    EXPECT_EQ(f.get("S", "U", ""), std::string(253, 'b'));
    EXPECT_EQ(f.get("S", "Bin", ""), "\xFF\xFE\x80 raw");  // not UTF-8: passed through
    EXPECT_EQ(f.get("S", "None", ascii), std::string(254, 'a'));
}

TEST(ProfileWrite, UpdatesInPlaceAndKeepsEverythingElse) {
    TempDir dir;
    const std::string path = dir.file("Varnelo.ini");
    writeFile(path,
              "; settings\r\n[Varnelo]\r\nFormat= 1\r\n; keep me\r\nQuotes= 0\r\n\r\n[Foreign]\r\nFormat=9\r\n");
    ASSERT_EQ(updateProfile(path, "Varnelo", {{"format", " 4"}, {"NewKey", "v"}}), 0);
    EXPECT_EQ(readFile(path),
              "; settings\r\n[Varnelo]\r\nformat= 4\r\n; keep me\r\nQuotes= 0\r\nNewKey=v\r\n\r\n[Foreign]\r\nFormat=9\r\n");
    ASSERT_TRUE(writePrivateProfileString("Added", "K", "1", path));
    EXPECT_TRUE(readFile(path).ends_with("Format=9\r\n[Added]\r\nK=1\r\n"));

    // A new file in a new folder, LF line ends.
    const std::string fresh = dir.file("a/b/new.ini");
    ASSERT_TRUE(writePrivateProfileString("Varnelo", "K", "v", fresh));
    EXPECT_EQ(readFile(fresh), "[Varnelo]\nK=v\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("a").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

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

TEST(ProfileWrite, FailuresLeaveTheOldFile) {
    TempDir dir;
    writeFile(dir.file("plain"), "x");
    // The folder is a file: nothing can be created in it.
    EXPECT_EQ(updateProfile(dir.file("plain/Varnelo.ini"), "S", {{"K", "v"}}), ENOTDIR);
    // Not a regular file, so not read and not replaced.
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
        if (child == 0) {
            for (int i = 0;; ++i) updateProfile(path, "Varnelo", {{"Value", i % 2 ? big : "small"}});
        }
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
    // Temporaries of killed writers may stay (hidden); the file is the only
    // visible name.
    for (const auto& name : dir.names()) EXPECT_TRUE(name == "Varnelo.ini" || name.starts_with(".Varnelo.ini.")) << name;
}

// Random damage to valid files: the profile reader gives values or
// defaults, the bag reader a bag or its Error; nothing else escapes.
TEST(SettingsReaders, SurviveRandomDamage) {
    const std::string ini =
        "; c\n[Varnelo]\nDiscardMax=1000\nFormat= 1\nFieldSeparator=\",\"\nHFFont=Sans\n[Other]\nX=1\n";
    varnelo::PropertyBag bag;
    bag.WriteProperty("OutputFile", varnelo::Variant("/tmp/a\tb\nc"), varnelo::Variant());
    bag.WriteProperty("Format", varnelo::Variant(int32_t{4}), varnelo::Variant());
    bag.WriteProperty("Font", varnelo::makeFont("Deja\\Vu", 10.5, true), varnelo::Variant());
    bag.WriteProperty("Scale", varnelo::Variant(7050.5), varnelo::Variant());
    bag.WriteProperty("On", varnelo::Variant(true), varnelo::Variant());
    const std::string bagText = varnelo::formatBagFile(bag);

    std::mt19937 gen(20240611);
    const char alphabet[] = "[]=;#\"'\\\t\r\n \x80\xFF" "abcx0123";
    auto mutate = [&](std::string s) {
        const int edits = std::uniform_int_distribution<int>(1, 6)(gen);
        for (int e = 0; e < edits; ++e) {
            size_t at = s.empty() ? 0 : std::uniform_int_distribution<size_t>(0, s.size() - 1)(gen);
            char c = alphabet[std::uniform_int_distribution<size_t>(0, sizeof alphabet - 2)(gen)];
            switch (std::uniform_int_distribution<int>(0, 3)(gen)) {
                case 0: if (!s.empty()) s[at] = c; break;
                case 1: s.insert(at, 1, c); break;
                case 2: if (!s.empty()) s.erase(at, 1); break;
                default: s.resize(at); break;  // truncated
            }
        }
        return s;
    };
    int bagsRead = 0, bagsRefused = 0;
    for (int i = 0; i < 3000; ++i) {
        ProfileFile f = ProfileFile::parse(mutate(ini));
        for (const char* key : {"DiscardMax", "Format", "FieldSeparator", "HFFont", "X"})
            EXPECT_LE(f.get("Varnelo", key, "d").size(), kProfileValueMax);
        f.set("Varnelo", "Format", " 2");
        EXPECT_EQ(ProfileFile::parse(f.text()).get("Varnelo", "Format", ""), "2");

        try {
            varnelo::PropertyBag b = varnelo::parseBagFile(mutate(bagText), "bag");
            ++bagsRead;
            varnelo::parseBagFile(varnelo::formatBagFile(b), "again");  // what it read, it writes readably
        } catch (const varnelo::Error& e) {
            ++bagsRefused;
            EXPECT_EQ(e.number(), 13);
            EXPECT_NE(e.description().find("property bag bag"), std::string::npos) << e.description();
        }
    }
    EXPECT_GT(bagsRead, 0);
    EXPECT_GT(bagsRefused, 0);
}

}  // namespace
