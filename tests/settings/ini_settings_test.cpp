// The settings file: what a show reads (defaults, damage, precedence), what
// the end writes (34 keys, read back by Python's configparser), and an
// unwritable folder.
#include <gmock/gmock.h>

#include "settings/settings_fixture.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_settings;
using namespace varnelo::testing_support;
using ::testing::HasSubstr;

// Python's configparser on the file: its sections, then "key=value" per line
// of [Varnelo], in file order, keys as written.
std::string configparserView(const std::string& path) {
    const char* script = "import configparser,sys\nc=configparser.ConfigParser(interpolation=None)\nc.optionxform=str\n"
                         "c.read(sys.argv[1],encoding='utf-8')\nprint(','.join(c.sections()))\n"
                         "for k,v in c['Varnelo'].items(): print(k+'='+v)\n";
    auto [status, out] = runShell("/usr/bin/python3 -c " + shellQuote(script) + " " + shellQuote(path));
    EXPECT_EQ(status, 0) << out;
    return out;
}

// A file without the keys gives each key its default; a fresh control can
// save to a file.
TEST_F(SettingsTest, MissingKeysGiveTheirDefaults) {
    writeFile(ini(), "[Elsewhere]\nFormat= 4\n");
    auto c = instance();
    c->show();
    const VarneloSettings& s = c->s();
    Panel& p = c->p();
    EXPECT_EQ(std::make_tuple(s.DiscardMax, s.DateFormat, s.CommitInterval, s.FieldSeparator, s.DelimChar),
              std::make_tuple("1000", "dd/MM/yyyy HH:mm:ss", "1000", ",", ";"));
    int checked = p.chkSaveTo(0).value() + p.chkSaveTo(1).value() + p.chkExcelDef.value();
    p.chkOption.forEach([&](ui::CheckBox& b) { checked += b.value(); });
    EXPECT_EQ(checked, 0);
    EXPECT_TRUE(p.optSaveTo(1).value() && p.optSQLLdr(1).value() && p.optFormat(0).value());
    EXPECT_EQ(std::make_tuple(s.HeaderFont->size, s.BodyFont->size, s.HeaderFont->name),
              std::make_tuple(12.0, 10.0, c->host.font->name));  // no face in the file: the face stays
    EXPECT_EQ((std::vector<OLE_COLOR>{s.BodyBackColor, s.HeaderBackColor, s.BodyForeColor, s.HeaderForeColor}),
              (std::vector<OLE_COLOR>{16777215, 12566463, 0, 0}));
    EXPECT_EQ(p.lblHeader(0).caption(), c->host.font->name + ",12");
}

// With no file the host's settings stand (a header row, its fonts and
// colours). Written at the end: 34 keys in order, that the control and
// configparser both read back; text with edge blanks (a TAB) keeps them.
TEST_F(SettingsTest, EndWritesEveryKeyAndTheNextShowReadsThem) {
    {
        auto c = instance();
        c->show();
        EXPECT_EQ(std::make_tuple(c->s().Columns, c->s().HeaderBackColor, c->s().HeaderFont->size),
                  std::make_tuple(1, 0x400000u, 8.25));
        EXPECT_FALSE(std::filesystem::exists(ini()));
        c->control.Format(DelimOther);
        c->control.Quotes(1);
        c->control.DelimChar("|");
        c->control.FieldSeparator("\t");
        c->control.HeaderFont(makeFont("Liberation Serif", 8.25, true, false));
        c->control.BodyBackColor(0x80000009);
        c->control.HeaderBackColor(0);  // black cannot be told from the default
        c->control.UserControl_Terminate();
    }
    const std::string text = readFile(ini());
    std::string keys;
    for (size_t at = text.find('\n'); at != std::string::npos && at + 1 < text.size(); at = text.find('\n', at + 1))
        keys += text.substr(at + 1, text.find('=', at) - at - 1) + " ";
    EXPECT_TRUE(text.starts_with("[Varnelo]\n"));
    EXPECT_EQ(keys, "DiscardMax DateFormat DateOnlyFormat TimeFormat CommitInterval FieldSeparator DelimChar "
                    "LowercaseColumns NoWrap UnixFormat FontExcelDef LaunchFile IncludeCellBorder SaveToFile "
                    "AutoColumnWidth SQLLoaderMode Columns IncludeNulls DelimAfterRow Quotes IncludeSQL Format HFFont "
                    "HFSize HFBold HFItalic BFFont BFSize BFBold BFItalic BodyBackColor BodyForeColor HeaderBackColor "
                    "HeaderForeColor ");
    EXPECT_THAT(text, HasSubstr("\nQuotes= 1\nIncludeSQL= 0\nFormat= 2\nHFFont=Liberation Serif\nHFSize= 8.25\n"
                                "HFBold=1\nHFItalic=0\n"));
    const std::string parsed = configparserView(ini());
    EXPECT_THAT(parsed, HasSubstr("Varnelo\nDiscardMax=1000\nDateFormat=dd/MM/yyyy HH:mm:ss\n"));
    EXPECT_THAT(parsed, HasSubstr("\nFormat=2\nHFFont=Liberation Serif\nHFSize=8.25\n"));
    EXPECT_THAT(parsed, HasSubstr("\nBodyBackColor=-2147483639\n"));

    auto next = instance();
    next->show();
    const VarneloSettings& s = next->s();
    EXPECT_EQ(std::make_tuple(s.Format, s.Quotes, s.DelimChar, s.FieldSeparator),
              std::make_tuple(int32_t{DelimOther}, int32_t{1}, "|", "\t"));
    EXPECT_EQ(std::make_tuple(s.HeaderFont->name, s.HeaderFont->size, s.HeaderFont->bold),
              std::make_tuple("Liberation Serif", 8.25, true));
    EXPECT_EQ(next->p().lblHeader(0).caption(), "Liberation Serif,8.25");
    EXPECT_EQ(std::make_pair(s.BodyBackColor, s.HeaderBackColor), std::make_pair(0x80000009u, 12566463u));
    EXPECT_EQ(s.BodyFont->size, 8.25);  // the first instance's, the host's font
    EXPECT_NE(s.HeaderFont, s.BodyFont);
}

// Damage of every kind: each key that cannot be read takes its default,
// the rest of the file still counts, and the control shows.
TEST_F(SettingsTest, DamagedFilesStillShow) {
    const std::string longValue(600, '9');
    struct Case {
        std::string file;
        std::function<void(const VarneloSettings&, Panel&)> expect;
    } cases[] = {
        {"[Varnelo]\nColumns=abc\nQuotes= 1\nFormat= 9\nSQLLoaderMode= 7\nCommitInterval=99999\nHFSize=-3\nBFSize=x\n"
         "DelimAfterRow= 5\nBodyBackColor=blue\nDiscardMax=lots\n",
         [](const VarneloSettings& s, Panel&) {
             EXPECT_EQ(std::make_tuple(s.Columns, s.Quotes, s.Format, s.SQLLoaderMode, s.DelimAfterRow, s.CommitInterval,
                                       s.DiscardMax, s.HeaderFont->size, s.BodyFont->size, s.BodyBackColor),
                       std::make_tuple(0, 1, 0, 1, 0, "1000", "1000", 12.0, 10.0, 16777215u));
         }},
        {"[Varnelo]\nFormat= 6\nQuotes= 1\nDelimChar=\xFF\xFE\nHFFont=\xC3\x28 bad\nFieldSeparator=" + longValue +
             "\nIncludeSQL",
         [&](const VarneloSettings& s, Panel&) {  // truncated mid-key, bytes that are not UTF-8, a long value
             EXPECT_EQ(std::make_tuple(s.Format, s.Quotes, s.IncludeSQL, s.DelimChar, s.HeaderFont->name),
                       std::make_tuple(6, 1, 0, "\xFE", "\xC3\x28 bad"));  // the box keeps the last byte typed
             EXPECT_EQ(s.FieldSeparator, longValue.substr(0, 254));
         }},
        {"[Varnelo]\nSaveToFile=\nFormat=\nQuotes=\n",  // present and empty
         [](const VarneloSettings& s, Panel& p) {
             EXPECT_TRUE(p.optSaveTo(1).value());
             EXPECT_EQ(std::make_pair(s.Format, s.Quotes), std::make_pair(0, 0));
         }},
        {"[Varnelo]\nSaveToFile= 0\n", [](const VarneloSettings&, Panel& p) { EXPECT_TRUE(p.optSaveTo(0).value()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 60));
        writeFile(ini(), c.file);
        auto i = instance();
        ASSERT_NO_THROW(i->show());
        EXPECT_TRUE(i->desktop.messages.empty());
        c.expect(i->s(), i->p());
    }
}

// A folder that cannot be created: the end raises the file error naming
// the file and the call stack; nothing else changes.
TEST_F(SettingsTest, AnUnwritableFolderIsReported) {
    writeFile(dir.file("plain"), "not a folder");
    auto c = std::make_unique<Instance>(dir.file("plain/varnelo"));
    c->show();
    const Error e = errorOf([&] { c->control.UserControl_Terminate(); });
    EXPECT_EQ(e.number(), 76);
    EXPECT_THAT(e.description(), HasSubstr("writing " + dir.file("plain/varnelo/Varnelo.ini")));
    EXPECT_THAT(e.description(), HasSubstr("Varnelo.SavePropertyINI"));
    EXPECT_THAT(e.description(), HasSubstr("Varnelo.UserControl_Terminate"));
    EXPECT_EQ(readFile(dir.file("plain")), "not a folder");
}

}  // namespace
