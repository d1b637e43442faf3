// The "Other Settings" and "Mail Settings" tabs driven with a scripted
// desktop: colour and font dialogs, the date format composed from its lists,
// the login rows, encoding, priority and the switch between file and mail mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;

class SettingsTabsTest : public testing_control::ControlTest {
protected:
    SettingsTabsTest() {
        control.Format(ExcelFile);  // the only format with both tab 1 frames enabled
        control.OutputFile("/data/out.csv");
        p().chkOption(10).click();  // mail mode: the mail tab is available
        forget();
    }
};

// A colour dialog starts from the swatch; the choice is stored and painted,
// the header telling the host before painting, the body after; a cancel
// still stores and tells.
TEST_F(SettingsTabsTest, ColourButtonsStoreTheChoiceAndPaintTheSwatch) {
    struct Case { bool header; int index; OLE_COLOR VarneloSettings::*field; const char* key; size_t toldBeforePaint; };
    const Case cases[] = {{true, 1, &VarneloSettings::HeaderBackColor, "HeaderBackColor", 1},
                          {true, 2, &VarneloSettings::HeaderForeColor, "HeaderForeColor", 1},
                          {false, 1, &VarneloSettings::BodyBackColor, "BodyBackColor", 0},
                          {false, 2, &VarneloSettings::BodyForeColor, "BodyForeColor", 0}};
    size_t toldAtPaint = 99;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ui::Label& swatch = (c.header ? p().lblHeader : p().lblBody)(c.index);
        swatch.setBackColor(0x123456);
        swatch.addObserver([&](const ui::Widget&, std::string_view what) {
            if (what == "backColor") toldAtPaint = host.changes.size();
        });
        desktop.colorAnswers.push_back(0xABCDEF);
        desktop.colorRequests.clear();
        forget();
        (c.header ? p().cmdHeader : p().cmdBody)(c.index).click();
        ASSERT_EQ(desktop.colorRequests.size(), 1u);
        EXPECT_EQ(std::pair(desktop.colorRequests[0].initial, desktop.colorRequests[0].flags), std::pair(0x123456u, 3));
        EXPECT_EQ(std::pair(swatch.backColor(), toldAtPaint), std::pair(0xABCDEFu, c.toldBeforePaint));
        (c.header ? p().cmdHeader : p().cmdBody)(c.index).click();  // cancelled
        EXPECT_EQ(control.settings().*c.field, 0xABCDEFu);
        EXPECT_THAT(host.changes, ElementsAre(c.key, c.key));
    }
    p().chkExcelDef.click();
    EXPECT_EQ(control.FontExcelDef(), 1);
}

// Each column has a font of its own. The dialog is preset from it and the
// choice is copied into that same object; a cancel keeps it (size to four
// decimals) and still tells the host.
TEST_F(SettingsTabsTest, FontButtonsPresetTheDialogAndCopyTheChoiceIntoTheStoredFont) {
    auto flags = [](const Font& f) {
        return f.name + (f.bold ? " b" : "") + (f.italic ? " i" : "") + (f.underline ? " u" : "") +
               (f.strikethrough ? " s" : "");
    };
    const FontPtr header = control.HeaderFont(), body = control.BodyFont();
    EXPECT_TRUE(header != body && header != host.font && body != host.font);
    *header = *makeFont("Tahoma", 9.3);
    header->italic = header->underline = true;
    Font chosen = *makeFont("Arial", 10.5, true);
    chosen.strikethrough = true;
    desktop.fontAnswers.push_back(chosen);
    p().cmdHeader(0).click();
    ASSERT_EQ(desktop.fontRequests.size(), 1u);
    EXPECT_EQ(desktop.fontRequests[0].flags, 65539);
    EXPECT_EQ(flags(desktop.fontRequests[0].initial), "Tahoma i u");
    EXPECT_EQ(desktop.fontRequests[0].initial.size, static_cast<double>(9.3f));
    EXPECT_EQ(control.HeaderFont(), header);
    EXPECT_EQ(flags(*header), "Arial b s");
    EXPECT_EQ(p().lblHeader(0).caption() + "|" + p().lblHeader(0).toolTip() + "|" + p().Label8.font()->name,
              "Arial,10.5|Arial,10.5|Arial");

    forget();
    header->size = 9.3;
    p().cmdBody(0).click();
    p().cmdHeader(0).click();
    EXPECT_EQ(header->size, 9.3);
    EXPECT_EQ(p().lblHeader(0).caption(), "Arial,9.3");
    EXPECT_THAT(host.changes, ElementsAre("BodyFont", "HeaderFont"));
}

// OK composes the date in the chosen order with the time part, and tells
// DateTemp, TimeTemp and DateFormat twice.
TEST_F(SettingsTabsTest, OkComposesDateAndTimeParts) {
    struct Case { int order, day, month, year, sep, includeTime, timeButton; const char* date; const char* time; };
    const Case cases[] = {
        {0, 1, 1, 1, 0, 1, 1, "dd/MM/yyyy", " HH:mm:ss"},     {2, 1, 1, 1, 1, 0, 1, "yyyy-MM-dd", ""},
        {1, 0, 2, 0, 2, 1, 0, "MMM.d.yy", " hh:mm:ss AMPM"}, {0, 0, 3, 0, 0, 2, 1, "d/Month/yy", ""},  // grey: no time
        {-1, 1, 1, 1, 0, 0, 0, "", ""}};  // no order: no date
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.date) + c.time);
        const int picks[] = {c.order, c.day, c.month, c.year, c.sep};
        for (int n = 0; n < 5; ++n) p().cmbDate(n).setListIndex(picks[n]);
        p().chkTime(0).setValue(c.includeTime);
        p().optTime(c.timeButton).click();
        p().lblDateFormat.setCaption("(before)");
        forget();
        p().cmdOK1.click();
        EXPECT_EQ(control.settings().DateTemp + "|" + control.settings().TimeTemp, std::string(c.date) + "|" + c.time);
        EXPECT_EQ(control.DateFormat(), std::string(c.date) + c.time);
        EXPECT_EQ(p().lblDateFormat.caption(), control.DateFormat());
        EXPECT_THAT(host.changes, ElementsAre("DateTemp", "TimeTemp", "DateFormat", "DateFormat"));
    }
}

// The date lists take no typing; with another format tab 1 is out of reach.
TEST_F(SettingsTabsTest, DateListsArePickOnlyAndTabOneFollowsTheFormat) {
    ui::ComboBox& month = p().cmbDate(2);
    month.pick(1);
    month.keyPress('Q');
    month.keyDown(40);
    EXPECT_EQ(month.text(), "MMM");
    control.Format(Ascii);
    forget();
    month.pick(0);
    p().cmdHeader(1).click();
    EXPECT_TRUE(month.text() == "MMM" && desktop.calls.empty() && host.changes.empty());
}

// Authentication shows the login rows and moves everything below them down a
// row; grey changes nothing; switching it off hides and empties them.
TEST_F(SettingsTabsTest, AuthenticationShowsTheLoginRowsUntilItIsSwitchedOff) {
    auto layout = [&] {
        return std::vector<int>{p().Label20.top(),   p().optEncodeType(0).top(), p().optEncodeType(1).top(),
                                p().Label21.top(),   p().cboPriority.top(),      p().ckHtml.top(),
                                p().ckReceipt.top(), p().fraOptions.height(),    p().fmeMail.top()};
    };
    auto loginShown = [&] {
        return std::vector{p().Label16.visible(), p().Label17.visible(), p().Label18.visible(),
                           p().txtUserName.visible(), p().txtPassword.visible()};
    };
    const std::vector<int> collapsed = layout();
    std::vector<int> expanded = collapsed;
    for (int& v : expanded) v += 360;
    p().chkAuthReq.click();
    EXPECT_EQ(layout(), expanded);
    EXPECT_EQ(loginShown(), std::vector<bool>(5, true));
    p().txtUserName.type("me");
    p().txtPassword.type("secret");
    control.CollapseDetails();  // again while checked: the login stays
    p().chkAuthReq.setValue(2);
    EXPECT_EQ(layout(), expanded);
    EXPECT_EQ(control.UserName() + control.Password(), "mesecret");
    p().chkAuthReq.click();
    EXPECT_EQ(layout(), collapsed);
    EXPECT_EQ(loginShown(), std::vector<bool>(5, false));
    EXPECT_EQ(control.UserName() + control.Password(), "");
    EXPECT_THAT(host.changes, ElementsAre("SMTPAuthentication", "SMTPAuthentication", "SMTPAuthentication"));
}

// UU encoding clears and disables HTML body, receipt and priority; MIME enables them again.
TEST_F(SettingsTabsTest, UuEncodingSwitchesOffHtmlReceiptAndPriority) {
    p().ckHtml.click();
    p().ckReceipt.click();
    forget();
    p().optEncodeType(1).click();
    EXPECT_EQ(std::tuple(control.MailFormat(), control.settings().encodingCode, control.MailHTMLBody(),
                         control.MailReceipt()),
              std::tuple(EncodingUU, 1, 0, 0));
    EXPECT_FALSE(p().ckHtml.enabled() || p().ckReceipt.enabled() || p().cboPriority.enabled());
    EXPECT_THAT(host.changes, ElementsAre("MailFormat"));
    p().optEncodeType(0).click();
    EXPECT_EQ(control.settings().encodingCode, 0);
    EXPECT_TRUE(p().ckHtml.enabled() && p().ckReceipt.enabled() && p().cboPriority.enabled());
}

// Normal, High and Low give 3, 1 and 5; only the arrow keys move the list.
TEST_F(SettingsTabsTest, PriorityEntriesGiveTheirCodesAndOnlyArrowsMoveTheList) {
    ui::ComboBox& list = p().cboPriority;
    for (auto [index, code] : {std::pair{1, 1}, {2, 5}, {0, 3}}) {
        forget();
        list.pick(index);
        EXPECT_EQ(std::pair(control.MailPriority(), control.settings().priorityCode), std::pair(code, code));
        EXPECT_THAT(host.changes, ElementsAre("MailPriority"));
    }
    list.keyPress('H');
    list.keyDown('H');
    list.keyDown(35);  // End, which would move a list
    EXPECT_EQ(list.text(), "Normal");
    list.keyDown(40);
    EXPECT_EQ(std::pair(list.text(), control.MailPriority()), std::pair(std::string("High"), 1));
}

// The "Send through Mail" box switches tabs, buttons and the attachment;
// the login survives the way back and forth.
TEST_F(SettingsTabsTest, TheSendThroughMailBoxSwitchesTheWholePanel) {
    auto state = [&] {
        return std::vector<bool>{p().SSTab1.tab(2).enabled, p().chkSaveTo(0).enabled(), p().optSaveTo(0).enabled(),
                                 p().cmdSave.visible(), p().cmdSend.visible(), p().txtServer.reachable()};
    };
    EXPECT_EQ(control.MailAttachment(), "/data/out.csv");
    EXPECT_EQ(state(), (std::vector<bool>{true, false, false, false, true, true}));
    p().chkAuthReq.click();
    p().txtUserName.type("me");
    forget();
    p().chkOption(10).click();  // back to file mode
    EXPECT_EQ(control.MailAttachment(), "");
    EXPECT_EQ(state(), (std::vector<bool>{false, true, false, true, false, false}));
    EXPECT_THAT(host.changes, ElementsAre("SendThroughMail", "MailAttachment"));
    p().chkOption(10).click();
    EXPECT_EQ(control.UserName(), "me");
    control.OutputFile("/data/next.csv");
    EXPECT_EQ(control.MailAttachment() + "|" + p().txtAttach.text(), "/data/next.csv|/data/next.csv");
}

}  // namespace
}  // namespace varnelo
