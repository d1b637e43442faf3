// The export tab driven as a user drives it: the format choice, option boxes,
// modes, typed fields, the file dialog, and errors leaving a user's action.
#include <gmock/gmock.h>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using S = VarneloSettings;

class FormatPanelTest : public testing_control::ControlTest {
protected:
    // The format `f` chosen by a user's click, from another format so the choice runs.
    void choose(int f) {
        p().optFormat(f == Ascii ? DelimTab : Ascii).setValue(true);
        forget();
        p().optFormat(f).click();
    }
};

// What a format choice does to each widget, per format 0..7: '1' enabled (a
// frame named with "+": shown), '0' disabled (hidden), '.' left as it was.
// Excel Instance (5) is checked on its own.
const std::pair<const char*, const char*> kFormatTable[] = {
    {"+fraSQLLDR", "00000.01"},    {"+fraOption1", "11111.10"},   {"fraColorSetting", "00001.10"},
    {"fraDateTime", ".0001.00"},   {"chkOption(0)", "00001.00"},  {"chkOption(1)", "11101.00"},
    {"chkOption(2)", "11101.10"},  {"chkOption(3)", "11111.10"},  {"chkOption(4)", "........"},
    {"chkOption(5)", "11110.01"},  {"chkOption(6)", "00001.10"},  {"chkOption(7)", "11101.10"},
    {"chkOption(8)", "00000.10"},  {"chkOption(9)", "11100.00"},  {"chkOption(10)", "........"},
    {"txtDelimChar", "00100.00"},  {"txtCommitInt", "00010.00"},  {"txtSchema", "00010.01"},
    {"txttable", "00010.01"},      {"optSaveTo(0)", "....0.0."},  {"optSaveTo(1)", "11111.11"}};
const char* const kTabOneEnabled = "00001010";
const char* const kFilterEntries = "22245.67";  // the file dialog's preselected filter

// Every cell, from a panel set all one way and then all the other way, so a
// cell that changes what it should leave (or leaves what it should change) shows.
TEST_F(FormatPanelTest, EveryCellOfTheFormatTable) {
    control.OutputFile("/data/host.csv");
    auto state = [&](const char* name, std::optional<bool> set = {}) {
        ui::Widget& w = widget(name + (name[0] == '+'));
        if (set) name[0] == '+' ? w.setVisible(*set) : w.setEnabled(*set);
        return name[0] == '+' ? w.visible() : w.enabled();
    };
    for (int f : {0, 1, 2, 3, 4, 6, 7}) {
        for (bool before : {false, true}) {
            SCOPED_TRACE("format " + std::to_string(f) + (before ? ", all on before" : ", all off before"));
            p().optFormat(f == Ascii ? DelimTab : Ascii).setValue(true);
            for (auto [name, cells] : kFormatTable) state(name, before);
            p().SSTab1.setTabEnabled(1, before);
            p().SSTab1.setTabEnabled(2, true);
            p().SSTab1.setCurrentTab(2);
            p().fraOthers.setEnabled(false);
            p().cmdSave.setVisible(false);
            forget();
            p().optFormat(f).click();
            for (auto [name, cells] : kFormatTable) EXPECT_EQ(state(name), cells[f] == '.' ? before : cells[f] == '1') << name;
            EXPECT_EQ((std::vector<bool>{p().SSTab1.tab(1).enabled, p().SSTab1.tab(2).enabled, p().SSTab1.currentTab() == 0,
                                         p().fraOthers.enabled(), p().frmSaveTo.enabled(), p().cmdSave.visible()}),
                      (std::vector<bool>{kTabOneEnabled[f] == '1', false, true, true, true, true}));
            desktop.fileRequests.clear();
            p().cmdFileSel.click();  // cancelled: the file stays
            ASSERT_EQ(desktop.fileRequests.size(), 1u);
            EXPECT_EQ(desktop.fileRequests[0].filterIndex, kFilterEntries[f] - '0');
            EXPECT_EQ(desktop.fileRequests[0].fileName, "/data/host.csv");
            EXPECT_EQ(control.Format(), f);
            EXPECT_THAT(host.changes, ElementsAre("Format"));
            EXPECT_TRUE(desktop.messages.empty());
        }
    }
}

// Excel Instance only says it is not available, hiding Save and tab 1 until
// another format is chosen; the user cannot choose it.
TEST_F(FormatPanelTest, ExcelInstanceHidesSaveAndTabOneUntilAnotherFormatIsChosen) {
    choose(ExcelFile);
    const auto untouched = std::pair(p().fraSQLLDR.visible(), p().chkOption(0).enabled());
    p().optFormat(5).click();
    EXPECT_EQ(control.Format(), ExcelFile);
    control.Format(ExcelInstance);
    EXPECT_THAT(shown(), ElementsAre("Information: This option is not available in this version (64)"));
    EXPECT_FALSE(p().cmdSave.visible() || p().SSTab1.tab(1).visible || p().SSTab1.tab(1).enabled);
    EXPECT_EQ(std::pair(p().fraSQLLDR.visible(), p().chkOption(0).enabled()), untouched);
    choose(HTMLTable);
    EXPECT_TRUE(p().cmdHeader(1).reachable()) << "the colour settings are back";
}

// Each option box stores its state (grey too) under its own key.
TEST_F(FormatPanelTest, OptionBoxesStoreTheirStateUnderTheirOwnKey) {
    const S& s = control.settings();
    for (int i = 0; i < 10; ++i) {
        p().chkOption(i).setValue(2);
        EXPECT_EQ((std::vector{s.AutoColumnWidth, s.Quotes, s.Columns, s.IncludeNulls, s.Compress, s.IncludeSQL,
                               s.IncludeCellBorder, s.LowercaseColumns, s.NoWrap, s.DelimAfterRow}[i]), 2) << i;
    }
    EXPECT_THAT(host.changes, ElementsAre("AutoColumnWidth", "Quotes", "Columns", "IncludeNulls", "Compress", "IncludeSQL",
                                          "IncludeCellBorder", "LowercaseColumns", "NoWrap", "DelimAfterRow"));
}

// Loader mode buttons carry the published numbering; the save-to boxes store
// their values; the File button makes Launch and "..." available, and "..."
// stores a chosen file.
TEST_F(FormatPanelTest, LoaderModesAndSaveToControls) {
    choose(SQLLoader);
    std::string modes;
    for (int mode : {Truncate, Append, Replace_, Insert}) {
        p().optSQLLdr(mode).click();
        modes += p().optSQLLdr(mode).caption() + "=" + std::to_string(control.SQLLoaderMode()) + " ";
    }
    EXPECT_EQ(modes, "Truncate=4 Append=2 Replace=3 Insert=1 ");
    EXPECT_THAT(host.changes, ElementsAre("Format", "SQLLoadermode", "SQLLoadermode", "SQLLoadermode", "SQLLoadermode"));
    forget();
    p().chkSaveTo(0).click();
    p().chkSaveTo(1).click();
    EXPECT_THAT(host.changes, ElementsAre("LaunchFile", "UnixFormat"));
    EXPECT_EQ(std::pair(control.LaunchFile(), control.UnixFormat()), std::pair(1, 1));
    p().optSaveTo(0).setValue(true);  // the program only: that button is disabled for the user
    EXPECT_FALSE(p().chkSaveTo(0).enabled() || p().cmdFileSel.enabled());
    p().optSaveTo(1).click();
    EXPECT_TRUE(p().chkSaveTo(0).enabled() && p().cmdFileSel.enabled());
    desktop.fileAnswers.push_back("/data/chosen.txt");
    p().cmdFileSel.click();
    EXPECT_EQ(control.OutputFile(), "/data/chosen.txt");
}

// Typed text is stored under its key; the numeric fields refuse what is not a
// finite number with a message, keeping the value (Insert Statements shows it
// again); the delimiter keeps the last character; the file box takes no typing.
TEST_F(FormatPanelTest, TypedFieldsStoreTheirTextAndTheNumericOnesRefuseWords) {
    const std::tuple<const char*, std::string S::*, const char*> fields[] = {
        {"txtCommitInt", &S::CommitInterval, "CommitInterval"}, {"txtDiscardMax", &S::DiscardMax, "DiscardMax"},
        {"txtFieldSep", &S::FieldSeparator, "FieldSeparator"},  {"txtSchema", &S::InsertSchema, "InsertSchema"},
        {"txtStrEnclose", &S::StrEnclose, "StrEnclose"},       {"txttable", &S::InsertTable, "InsertTable"}};
    p().fraSQLLDR.setVisible(true);
    p().fraOption1.setVisible(true);
    for (auto [name, field, key] : fields) {
        widget(name).setEnabled(true);
        forget();
        widget<ui::TextBox>(name).type("42");
        EXPECT_EQ(control.settings().*field, "42");
        EXPECT_THAT(host.changes, ElementsAre(key));
    }
    for (const char* good : {"", " 7 ", "-3.5", "1e3"}) {
        p().txtDiscardMax.type(good);
        EXPECT_EQ(control.settings().DiscardMax, good);
    }
    forget();
    for (const char* bad : {"12a", "inf", "nan", "--1"}) p().txtDiscardMax.type(bad);
    p().txtCommitInt.type("12a");
    EXPECT_EQ(control.settings().DiscardMax + "|" + control.settings().CommitInterval, "1e3|42");
    EXPECT_EQ(shown(), std::vector<std::string>(5, "Wrong data Entry: Please enter numeric data to proceed (48)"));
    EXPECT_TRUE(host.changes.empty());
    choose(Inserts);
    EXPECT_EQ(p().txtCommitInt.text(), "42") << "the stored interval, not the refused text";

    choose(DelimOther);
    for (auto [typed, kept] : {std::pair{";|#", "#"}, {"a\xC3\xA9", "\xC3\xA9"}, {"\xC3\xA9;", ";"}}) {
        p().txtDelimChar.type(typed);
        EXPECT_EQ(control.DelimChar(), kept);
    }
    p().txtFileSave.type("typed.csv");
    EXPECT_EQ(control.OutputFile(), "");
}

}  // namespace
}  // namespace varnelo
