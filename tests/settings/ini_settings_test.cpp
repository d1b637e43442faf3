// The settings file: what a show reads (defaults, damage, precedence), what
// the end writes (34 keys, read back by Python's configparser), and what a
// hostile value or an unwritable folder can do.
#include <gmock/gmock.h>

#include "settings/settings_fixture.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_settings;
using testing_support::readFile;
using testing_support::runShell;
using testing_support::shellQuote;
using testing_support::writeFile;
using ::testing::HasSubstr;

const std::vector<std::string> kIniKeys = {
    "DiscardMax", "DateFormat", "DateOnlyFormat", "TimeFormat", "CommitInterval", "FieldSeparator", "DelimChar",
    "LowercaseColumns", "NoWrap", "UnixFormat", "FontExcelDef", "LaunchFile", "IncludeCellBorder", "SaveToFile",
    "AutoColumnWidth", "SQLLoaderMode", "Columns", "IncludeNulls", "DelimAfterRow", "Quotes", "IncludeSQL", "Format",
    "HFFont", "HFSize", "HFBold", "HFItalic", "BFFont", "BFSize", "BFBold", "BFItalic", "BodyBackColor",
    "BodyForeColor", "HeaderBackColor", "HeaderForeColor"};

// Python's configparser on the file: "key=value" per line of [Varnelo], in
// file order, keys as written.
std::string configparserView(const std::string& path) {
    const char* script =
        "import configparser,sys\n"
        "c=configparser.ConfigParser(interpolation=None)\n"
        "c.optionxform=str\n"
        "c.read(sys.argv[1],encoding='utf-8')\n"
        "print(','.join(c.sections()))\n"
        "for k,v in c['Varnelo'].items(): print(k+'='+v)\n";
    auto [status, out] = runShell("/usr/bin/python3 -c " + shellQuote(script) + " " + shellQuote(path));
    EXPECT_EQ(status, 0) << out;
    return out;
}

// No file yet: the host's settings stand (a header row, its fonts and
// colours); nothing is written by reading.
TEST_F(SettingsTest, NoFileKeepsTheHostsSettings) {
    auto c = instance();
    c->placeAndShow();
    const VarneloSettings& s = c->s();
    EXPECT_EQ(std::make_tuple(s.Columns, s.HeaderBackColor, s.HeaderFont->size), std::make_tuple(1, 0x400000u, 8.25));
    EXPECT_TRUE(c->p().optSaveTo(1).value());
    EXPECT_FALSE(std::filesystem::exists(ini()));
}

// A file without the keys gives each key its default.
TEST_F(SettingsTest, MissingKeysGiveTheirDefaults) {
    writeFile(ini(), "[Elsewhere]\nFormat= 4\n");
    auto c = instance();
    c->placeAndShow();
    const VarneloSettings& s = c->s();
    Panel& p = c->p();
    EXPECT_EQ(std::make_tuple(s.DiscardMax, s.DateFormat, s.CommitInterval, s.FieldSeparator, s.DelimChar),
              std::make_tuple("1000", "dd/MM/yyyy HH:mm:ss", "1000", ",", ";"));
    int checked = 0;
    p.chkOption.forEach([&](ui::CheckBox& b) { checked += b.value(); });
    EXPECT_EQ(checked + p.chkSaveTo(0).value() + p.chkSaveTo(1).value() + p.chkExcelDef.value(), 0);
    EXPECT_TRUE(p.optSaveTo(1).value());  // "File": a fresh control can save
    EXPECT_TRUE(p.optSQLLdr(1).value());
    EXPECT_TRUE(p.optFormat(0).value());
    EXPECT_EQ(std::make_pair(s.HeaderFont->size, s.BodyFont->size), std::make_pair(12.0, 10.0));
    EXPECT_EQ(s.HeaderFont->name, c->host.font->name);  // no face in the file: the face stays
    EXPECT_EQ((std::vector<OLE_COLOR>{s.BodyBackColor, s.HeaderBackColor, s.BodyForeColor, s.HeaderForeColor}),
              (std::vector<OLE_COLOR>{16777215, 12566463, 0, 0}));
    EXPECT_EQ(p.lblHeader(0).caption(), c->host.font->name + ",12");
}

// Written at the end: 34 keys in order, that the control and configparser
// both read back.
TEST_F(SettingsTest, EndWritesEveryKeyAndTheNextShowReadsThem) {
    {
        auto c = instance();
        c->placeAndShow();
        c->control.Format(DelimOther);
        c->control.Quotes(1);
        c->control.DelimChar("|");
        c->control.FieldSeparator("\t");  // what a TAB export leaves
        c->control.HeaderFont(makeFont("Liberation Serif", 8.25, true, false));
        c->control.BodyBackColor(0x80000009);
        c->control.HeaderBackColor(0);  // black cannot be told from the default
        c->control.UserControl_Terminate();
    }
    const std::string text = readFile(ini());
    std::vector<std::string> keys;
    for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1))
        keys.push_back(text.substr(at + 1, text.find('=', at) - at - 1));
    EXPECT_TRUE(text.starts_with("[Varnelo]\n"));
    EXPECT_EQ(keys, kIniKeys);
    EXPECT_THAT(text, HasSubstr("\nQuotes= 1\nIncludeSQL= 0\nFormat= 2\nHFFont=Liberation Serif\nHFSize= 8.25\n"
                                "HFBold=1\nHFItalic=0\n"));
    EXPECT_THAT(configparserView(ini()), HasSubstr("Varnelo\nDiscardMax=1000\nDateFormat=dd/MM/yyyy HH:mm:ss\n"));
    EXPECT_THAT(configparserView(ini()), HasSubstr("\nFormat=2\nHFFont=Liberation Serif\nHFSize=8.25\n"));
    EXPECT_THAT(configparserView(ini()), HasSubstr("\nBodyBackColor=-2147483639\n"));

    auto next = instance();
    next->placeAndShow();
    const VarneloSettings& s = next->s();
    EXPECT_EQ(std::make_tuple(s.Format, s.Quotes, s.DelimChar, s.FieldSeparator),
              std::make_tuple(int32_t{DelimOther}, int32_t{1}, "|", "\t"));  // kept in quotes, not trimmed
    EXPECT_EQ(std::make_tuple(s.HeaderFont->name, s.HeaderFont->size, s.HeaderFont->bold),
              std::make_tuple("Liberation Serif", 8.25, true));
    EXPECT_EQ(next->p().lblHeader(0).caption(), "Liberation Serif,8.25");
    EXPECT_EQ(s.BodyBackColor, 0x80000009u);
    EXPECT_EQ(s.HeaderBackColor, 12566463u);
    EXPECT_EQ(s.BodyFont->size, 8.25);  // the first instance's, the host's font
    EXPECT_NE(s.HeaderFont, s.BodyFont);
}

// Damage of every kind: each key that cannot be read takes its default,
// the rest of the file still counts, and the control shows.
TEST_F(SettingsTest, DamagedFilesStillShow) {
    const std::string longValue(600, '9');
    struct Case {
        std::string file;
        std::function<void(Instance&)> expect;
    } cases[] = {
        {"[Varnelo]\nColumns=abc\nQuotes= 1\nFormat= 9\nSQLLoaderMode= 7\nCommitInterval=99999\nHFSize=-3\nBFSize=x\n"
         "DelimAfterRow= 5\nBodyBackColor=blue\nDiscardMax=lots\n",
         [](Instance& i) {
             EXPECT_EQ(std::make_tuple(i.s().Columns, i.s().Quotes, i.s().Format, i.s().SQLLoaderMode, i.s().DelimAfterRow),
                       std::make_tuple(0, 1, 0, 1, 0));
             EXPECT_EQ(std::make_tuple(i.s().CommitInterval, i.s().DiscardMax), std::make_tuple("1000", "1000"));
             EXPECT_EQ(std::make_pair(i.s().HeaderFont->size, i.s().BodyFont->size), std::make_pair(12.0, 10.0));
             EXPECT_EQ(i.s().BodyBackColor, 16777215u);
         }},
        {"[Varnelo]\nFormat= 6\nQuotes= 1\nDelimChar=\xFF\xFE\nHFFont=\xC3\x28 bad\nFieldSeparator=" + longValue + "\nIncludeSQL",
         [&](Instance& i) {  // truncated mid-key, bytes that are not UTF-8, a long value
             EXPECT_EQ(std::make_tuple(i.s().Format, i.s().Quotes, i.s().IncludeSQL), std::make_tuple(6, 1, 0));
             EXPECT_EQ(i.s().DelimChar, "\xFE");  // the box keeps the last byte typed
             EXPECT_EQ(i.s().HeaderFont->name, "\xC3\x28 bad");
             EXPECT_EQ(i.s().FieldSeparator, longValue.substr(0, 254));
         }},
        {std::string("\x00\x01\x02[Varnelo\n=\n[]\n==\n", sizeof "\x00\x01\x02[Varnelo\n=\n[]\n==\n" - 1),
         [](Instance& i) { EXPECT_EQ(i.s().Format, 0); }},
        {"[Varnelo]\nSaveToFile=\nFormat=\nQuotes=\n",  // present and empty
         [](Instance& i) {
             EXPECT_TRUE(i.p().optSaveTo(1).value());
             EXPECT_EQ(std::make_pair(i.s().Format, i.s().Quotes), std::make_pair(0, 0));
         }},
        {"[Varnelo]\nSaveToFile= 0\n",
         [](Instance& i) { EXPECT_TRUE(i.p().optSaveTo(0).value()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 60));
        writeFile(ini(), c.file);
        auto i = instance();
        ASSERT_NO_THROW(i->placeAndShow());
        EXPECT_TRUE(i->desktop.messages.empty());
        c.expect(*i);
    }
}

TEST_F(SettingsTest, EndKeepsCommentsAndForeignSections) {
    writeFile(ini(), "; written by hand\n[Tools]\nEditor=vi\n\n[Varnelo]\n; my format\nFormat= 1\nCustom=kept\n");
    auto c = instance();
    c->placeAndShow();
    c->control.Format(HTMLTable);
    c->control.UserControl_Terminate();
    const std::string text = readFile(ini());
    EXPECT_TRUE(text.starts_with("; written by hand\n[Tools]\nEditor=vi\n\n[Varnelo]\n; my format\nFormat= 6\n"
                                 "Custom=kept\nDiscardMax=1000\n"))
        << text;
    EXPECT_THAT(configparserView(ini()), HasSubstr("Tools,Varnelo\n"));
}

// A value with line breaks cannot add a key: its key keeps its line.
TEST_F(SettingsTest, AHostileValueCannotCreateAKey) {
    writeFile(ini(), "[Varnelo]\nFieldSeparator=;\n");
    {
        auto c = instance();
        c->placeAndShow();
        c->control.FieldSeparator(",\r\nQuotes=1\r\n[Evil]");
        c->control.UserControl_Terminate();
    }
    const std::string text = readFile(ini());
    EXPECT_THAT(text, HasSubstr("\nFieldSeparator=;\n"));
    EXPECT_EQ(text.find("Evil"), std::string::npos);
    EXPECT_EQ(text.find("Quotes="), text.rfind("Quotes="));
    auto next = instance();
    next->placeAndShow();
    EXPECT_EQ(std::make_pair(next->s().FieldSeparator, next->s().Quotes), std::make_pair(std::string(";"), 0));
}

// Two instances alive at once: the file is whole after each end, and holds
// the last one's values.
TEST_F(SettingsTest, TheLastInstanceToEndWins) {
    auto a = instance();
    auto b = instance();
    a->placeAndShow();
    b->placeAndShow();
    a->control.Format(SQLLoader);
    b->control.Format(Inserts);
    b->control.UserControl_Terminate();
    a->control.UserControl_Terminate();
    const std::string text = readFile(ini());
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 35);
    auto next = instance();
    next->placeAndShow();
    EXPECT_EQ(next->s().Format, SQLLoader);
}

// A folder that cannot be created or written: the end raises the file
// error naming the file; nothing else changes.
TEST_F(SettingsTest, AnUnwritableFolderIsReported) {
    writeFile(dir.file("plain"), "not a folder");
    auto c = std::make_unique<Instance>(dir.file("plain/varnelo"));
    c->placeAndShow();
    const Error e = testing_support::errorOf([&] { c->control.UserControl_Terminate(); });
    EXPECT_EQ(e.number(), 76);
    EXPECT_THAT(e.description(), HasSubstr("writing " + dir.file("plain/varnelo/Varnelo.ini")));
    EXPECT_THAT(e.description(), HasSubstr("Varnelo.SavePropertyINI"));
    EXPECT_THAT(e.description(), HasSubstr("Varnelo.UserControl_Terminate"));
    EXPECT_EQ(readFile(dir.file("plain")), "not a folder");
}

}  // namespace
