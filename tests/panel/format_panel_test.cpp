// The export tab driven as a user drives it: the format choice and what it
// enables, shows and preselects; the option boxes, loader modes, save-to
// controls, the file dialog and the typed fields with their checks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FormatPanelTest : public testing_control::ControlTest {
protected:
    // The format `f` chosen by a user's click, from a different format, so
    // the choice runs.
    void choose(int f) {
        p().optFormat(f == Ascii ? DelimTab : Ascii).setValue(true);
        forget();
        p().optFormat(f).click();
    }
};

// One row per panel state the format choice decides: 1 yes, 0 no, -1 left
// as it was. Columns are the formats 0..7 (5 is checked on its own).
struct Row {
    const char* what;
    std::function<bool(Panel&)> get;
    std::function<void(Panel&, bool)> set;
    int expected[8];
};

std::vector<Row> formatTable() {
    auto enabled = [](auto pick) {
        return std::pair{std::function<bool(Panel&)>([pick](Panel& p) { return pick(p).enabled(); }),
                         std::function<void(Panel&, bool)>([pick](Panel& p, bool v) { pick(p).setEnabled(v); })};
    };
    auto shown = [](auto pick) {
        return std::pair{std::function<bool(Panel&)>([pick](Panel& p) { return pick(p).visible(); }),
                         std::function<void(Panel&, bool)>([pick](Panel& p, bool v) { pick(p).setVisible(v); })};
    };
    auto row = [](const char* what, auto access, std::initializer_list<int> cells) {
        Row r{what, access.first, access.second, {}};
        std::copy(cells.begin(), cells.end(), r.expected);
        return r;
    };
    auto chk = [&](int i) { return enabled([i](Panel& p) -> ui::Widget& { return p.chkOption(i); }); };
    return {
        row("tab 1 available",
            std::pair{std::function<bool(Panel&)>([](Panel& p) { return p.SSTab1.tab(1).enabled; }),
                      std::function<void(Panel&, bool)>([](Panel& p, bool v) { p.SSTab1.setTabEnabled(1, v); })},
            {0, 0, 0, 0, 1, 0, 1, 0}),
        row("fraSQLLDR shown", shown([](Panel& p) -> ui::Widget& { return p.fraSQLLDR; }), {0, 0, 0, 0, 0, -1, 0, 1}),
        row("fraOption1 shown", shown([](Panel& p) -> ui::Widget& { return p.fraOption1; }), {1, 1, 1, 1, 1, -1, 1, 0}),
        row("fraColorSetting", enabled([](Panel& p) -> ui::Widget& { return p.fraColorSetting; }),
            {0, 0, 0, 0, 1, -1, 1, 0}),
        row("fraDateTime", enabled([](Panel& p) -> ui::Widget& { return p.fraDateTime; }), {-1, 0, 0, 0, 1, -1, 0, 0}),
        row("chkOption(0)", chk(0), {0, 0, 0, 0, 1, -1, 0, 0}),
        row("chkOption(1)", chk(1), {1, 1, 1, 0, 1, -1, 0, 0}),
        row("chkOption(2)", chk(2), {1, 1, 1, 0, 1, -1, 1, 0}),
        row("chkOption(3)", chk(3), {1, 1, 1, 1, 1, -1, 1, 0}),
        row("chkOption(5)", chk(5), {1, 1, 1, 1, 0, -1, 0, 1}),
        row("chkOption(6)", chk(6), {0, 0, 0, 0, 1, -1, 1, 0}),
        row("chkOption(7)", chk(7), {1, 1, 1, 0, 1, -1, 1, 0}),
        row("chkOption(8)", chk(8), {0, 0, 0, 0, 0, -1, 1, 0}),
        row("chkOption(9)", chk(9), {1, 1, 1, 0, 0, -1, 0, 0}),
        row("txtDelimChar", enabled([](Panel& p) -> ui::Widget& { return p.txtDelimChar; }), {0, 0, 1, 0, 0, -1, 0, 0}),
        row("txtCommitInt", enabled([](Panel& p) -> ui::Widget& { return p.txtCommitInt; }), {0, 0, 0, 1, 0, -1, 0, 0}),
        row("txtSchema", enabled([](Panel& p) -> ui::Widget& { return p.txtSchema; }), {0, 0, 0, 1, 0, -1, 0, 1}),
        row("txttable", enabled([](Panel& p) -> ui::Widget& { return p.txttable; }), {0, 0, 0, 1, 0, -1, 0, 1}),
        row("optSaveTo(0)", enabled([](Panel& p) -> ui::Widget& { return p.optSaveTo(0); }),
            {-1, -1, -1, -1, 0, -1, 0, -1}),
        row("optSaveTo(1)", enabled([](Panel& p) -> ui::Widget& { return p.optSaveTo(1); }), {1, 1, 1, 1, 1, -1, 1, 1}),
        // Neither format touches these.
        row("chkOption(4)", chk(4), {-1, -1, -1, -1, -1, -1, -1, -1}),
        row("chkOption(10)", chk(10), {-1, -1, -1, -1, -1, -1, -1, -1}),
    };
}

// Every cell of the table, from a panel set all one way and all the other
// way beforehand, so a cell that changes what it should leave (or leaves
// what it should change) shows.
TEST_F(FormatPanelTest, EveryCellOfTheFormatTable) {
    const auto table = formatTable();
    for (int f : {0, 1, 2, 3, 4, 6, 7}) {
        for (bool before : {false, true}) {
            SCOPED_TRACE("format " + std::to_string(f) + (before ? ", all on before" : ", all off before"));
            p().optFormat(f == Ascii ? DelimTab : Ascii).setValue(true);
            for (const Row& r : table) r.set(p(), before);
            p().SSTab1.setTabEnabled(2, true);
            p().SSTab1.setCurrentTab(2);
            p().fraOthers.setEnabled(false);
            p().cmdSave.setVisible(false);
            forget();
            p().optFormat(f).click();
            for (const Row& r : table) {
                const int want = r.expected[f];
                EXPECT_EQ(r.get(p()), want < 0 ? before : want == 1) << r.what;
            }
            EXPECT_FALSE(p().SSTab1.tab(2).enabled);
            EXPECT_EQ(p().SSTab1.currentTab(), 0);
            EXPECT_TRUE(p().fraOthers.enabled());
            EXPECT_TRUE(p().frmSaveTo.enabled());
            EXPECT_TRUE(p().cmdSave.visible());
            EXPECT_EQ(control.Format(), f);
            EXPECT_THAT(host.changes, ElementsAre("Format"));
            EXPECT_THAT(desktop.messages, IsEmpty());
        }
    }
}

TEST_F(FormatPanelTest, TheFileDialogPreselectsTheFormatsFilterAndACancelKeepsTheFile) {
    const std::pair<int, int> filters[] = {{Ascii, 2}, {DelimTab, 2}, {DelimOther, 2}, {Inserts, 4},
                                           {ExcelFile, 5}, {HTMLTable, 6}, {SQLLoader, 7}};
    for (auto [format, entry] : filters) {
        choose(format);
        p().cmdFileSel.click();
        ASSERT_FALSE(desktop.fileRequests.empty());
        EXPECT_EQ(desktop.fileRequests.back().filterIndex, entry) << format;
        EXPECT_EQ(desktop.fileRequests.back().filter, kFileFilter);
    }
    EXPECT_EQ(control.OutputFile(), "") << "cancelled the first time: nothing chosen";

    control.OutputFile("/data/host.csv");
    forget();
    p().cmdFileSel.click();  // cancelled
    EXPECT_EQ(desktop.fileRequests.back().fileName, "/data/host.csv");
    EXPECT_EQ(control.OutputFile(), "/data/host.csv");
    EXPECT_THAT(host.changes, IsEmpty());

    desktop.fileAnswers.push_back("/data/chosen.txt");
    p().cmdFileSel.click();
    EXPECT_EQ(control.OutputFile(), "/data/chosen.txt");
    EXPECT_EQ(p().txtFileSave.text(), "/data/chosen.txt");
    EXPECT_THAT(host.changes, ElementsAre("OutputFile"));
}

TEST_F(FormatPanelTest, ExcelInstanceHidesSaveAndTabOneUntilAnotherFormatIsChosen) {
    choose(ExcelFile);
    const bool sqlShown = p().fraSQLLDR.visible(), chk0 = p().chkOption(0).enabled();
    forget();
    p().optFormat(5).click();  // disabled: the user cannot choose it
    EXPECT_EQ(control.Format(), ExcelFile);
    control.Format(ExcelInstance);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "This option is not available in this version");
    EXPECT_EQ(desktop.messages[0].title, "Information");
    EXPECT_EQ(desktop.messages[0].style, mb::kInformation);
    EXPECT_FALSE(p().cmdSave.visible());
    EXPECT_FALSE(p().SSTab1.tab(1).visible);
    EXPECT_FALSE(p().SSTab1.tab(1).enabled);
    EXPECT_EQ(p().fraSQLLDR.visible(), sqlShown);
    EXPECT_EQ(p().chkOption(0).enabled(), chk0);
    EXPECT_EQ(control.Format(), ExcelInstance);
    EXPECT_FALSE(control.Save()) << "nothing to write";

    choose(HTMLTable);
    EXPECT_TRUE(p().SSTab1.tab(1).visible) << "the colour settings are reachable again";
    EXPECT_TRUE(p().SSTab1.tab(1).enabled);
    EXPECT_TRUE(p().cmdHeader(1).reachable());
}

TEST_F(FormatPanelTest, OptionBoxesStoreTheirStateUnderTheirOwnKey) {
    struct Case { int index; int32_t VarneloSettings::*field; const char* key; };
    const Case cases[] = {
        {0, &VarneloSettings::AutoColumnWidth, "AutoColumnWidth"},
        {1, &VarneloSettings::Quotes, "Quotes"},
        {2, &VarneloSettings::Columns, "Columns"},
        {3, &VarneloSettings::IncludeNulls, "IncludeNulls"},
        {4, &VarneloSettings::Compress, "Compress"},
        {5, &VarneloSettings::IncludeSQL, "IncludeSQL"},
        {6, &VarneloSettings::IncludeCellBorder, "IncludeCellBorder"},
        {7, &VarneloSettings::LowercaseColumns, "LowercaseColumns"},
        {8, &VarneloSettings::NoWrap, "NoWrap"},
        {9, &VarneloSettings::DelimAfterRow, "DelimAfterRow"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        p().chkOption(c.index).setEnabled(true);
        p().chkOption(c.index).setValue(0);
        forget();
        p().chkOption(c.index).click();
        EXPECT_EQ(control.settings().*c.field, 1);
        p().chkOption(c.index).setValue(2);  // grey passes through
        EXPECT_EQ(control.settings().*c.field, 2);
        EXPECT_THAT(host.changes, ElementsAre(c.key, c.key));
    }
    // A disabled box ignores the user.
    p().chkOption(1).setEnabled(false);
    p().chkOption(1).click();
    EXPECT_EQ(control.Quotes(), 2);
}

TEST_F(FormatPanelTest, LoaderModesSaveToBoxesAndSaveToButtons) {
    choose(SQLLoader);
    const std::pair<int, int32_t> modes[] = {{4, Truncate}, {2, Append}, {3, Replace_}, {1, Insert}};
    for (auto [button, mode] : modes) {
        forget();
        p().optSQLLdr(button).click();
        EXPECT_EQ(control.SQLLoaderMode(), mode);
        EXPECT_THAT(host.changes, ElementsAre("SQLLoadermode"));
    }

    forget();
    p().chkSaveTo(0).click();
    p().chkSaveTo(1).click();
    EXPECT_EQ(control.LaunchFile(), 1);
    EXPECT_EQ(control.UnixFormat(), 1);
    EXPECT_THAT(host.changes, ElementsAre("LaunchFile", "UnixFormat"));

    p().optSaveTo(0).setValue(true);  // the program only: the button is disabled for the user
    EXPECT_FALSE(p().chkSaveTo(0).enabled());
    EXPECT_FALSE(p().cmdFileSel.enabled());
    p().optSaveTo(1).click();
    EXPECT_TRUE(p().chkSaveTo(0).enabled());
    EXPECT_TRUE(p().cmdFileSel.enabled());
    EXPECT_EQ(control.SaveToFile(), 1) << "neither button changes a property";
}

TEST_F(FormatPanelTest, TypedFieldsStoreTheirTextAndTheNumericOnesRefuseWords) {
    struct Case {
        std::function<ui::TextBox&()> box;
        std::function<std::string()> stored;
        const char* key;
    };
    const Case cases[] = {
        {[&]() -> ui::TextBox& { return p().txtCommitInt; }, [&] { return control.settings().CommitInterval; },
         "CommitInterval"},
        {[&]() -> ui::TextBox& { return p().txtDiscardMax; }, [&] { return control.settings().DiscardMax; },
         "DiscardMax"},
        {[&]() -> ui::TextBox& { return p().txtFieldSep; }, [&] { return control.settings().FieldSeparator; },
         "FieldSeparator"},
        {[&]() -> ui::TextBox& { return p().txtSchema; }, [&] { return control.settings().InsertSchema; },
         "InsertSchema"},
        {[&]() -> ui::TextBox& { return p().txtStrEnclose; }, [&] { return control.settings().StrEnclose; },
         "StrEnclose"},
        {[&]() -> ui::TextBox& { return p().txttable; }, [&] { return control.settings().InsertTable; },
         "InsertTable"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        c.box().setEnabled(true);
        p().fraSQLLDR.setVisible(true);
        p().fraOption1.setVisible(true);
        forget();
        c.box().type("42");
        EXPECT_EQ(c.stored(), "42");
        EXPECT_THAT(host.changes, ElementsAre(c.key));
    }

    // Words in the numeric fields: a message, the text stays, the value does not change.
    for (ui::TextBox* box : {&p().txtCommitInt, &p().txtDiscardMax}) {
        forget();
        box->type("12a");
        ASSERT_EQ(desktop.messages.size(), 1u);
        EXPECT_EQ(desktop.messages[0].text, "Please enter numeric data to proceed");
        EXPECT_EQ(desktop.messages[0].title, "Wrong data Entry");
        EXPECT_EQ(desktop.messages[0].style, mb::kExclamation);
        EXPECT_EQ(box->text(), "12a");
        EXPECT_THAT(host.changes, IsEmpty());
    }
    EXPECT_EQ(control.CommitInterval(), "42");
    EXPECT_EQ(control.DiscardMax(), "42");

    choose(DelimOther);
    p().txtDelimChar.type(";|#");
    EXPECT_EQ(control.DelimChar(), "#") << "only the last character typed stays";
    p().txtDelimChar.type("a\xC3\xA9");
    EXPECT_EQ(control.DelimChar(), "\xC3\xA9") << "a character of two bytes is kept whole";
    p().txtDelimChar.type("\xC3\xA9;");
    EXPECT_EQ(control.DelimChar(), ";");
    p().txtFileSave.type("typed.csv");
    EXPECT_EQ(control.OutputFile(), "") << "the file box takes no typing";
}

TEST_F(FormatPanelTest, InsertStatementsShowTheStoredCommitIntervalAgain) {
    choose(Inserts);
    p().txtCommitInt.type("abc");  // refused: the box shows it, the value stays
    ASSERT_EQ(p().txtCommitInt.text(), "abc");
    choose(HTMLTable);
    choose(Inserts);
    EXPECT_EQ(p().txtCommitInt.text(), "1000");
    EXPECT_EQ(control.CommitInterval(), "1000");
}

TEST_F(FormatPanelTest, AnyFormatLeavesMailModeAndClearsTheAttachment) {
    control.OutputFile("/data/out.csv");
    p().chkOption(10).click();
    ASSERT_EQ(control.MailAttachment(), "/data/out.csv");
    forget();
    p().optFormat(DelimTab).click();
    EXPECT_EQ(p().chkOption(10).value(), 0);
    EXPECT_EQ(control.settings().SendThroughMail, 0);
    EXPECT_EQ(control.MailAttachment(), "");
    EXPECT_THAT(host.changes, ElementsAre("SendThroughMail", "MailAttachment", "Format"));
}

}  // namespace
}  // namespace varnelo
