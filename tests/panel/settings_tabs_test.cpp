// The "Other Settings" and "Mail Settings" tabs driven with a scripted
// desktop: colour and font dialogs, the date format composed from its lists,
// the login rows, encoding, priority and the switch between file and mail mode.
#include <gmock/gmock.h>

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
    using S = VarneloSettings;
    const std::tuple<bool, int, OLE_COLOR S::*, const char*> cases[] = {
        {true, 1, &S::HeaderBackColor, "HeaderBackColor"}, {true, 2, &S::HeaderForeColor, "HeaderForeColor"},
        {false, 1, &S::BodyBackColor, "BodyBackColor"},    {false, 2, &S::BodyForeColor, "BodyForeColor"}};
    size_t toldAtPaint = 99;
    for (auto [header, index, field, key] : cases) {
        SCOPED_TRACE(key);
        ui::Label& swatch = (header ? p().lblHeader : p().lblBody)(index);
        ui::CommandButton& button = (header ? p().cmdHeader : p().cmdBody)(index);
        swatch.setBackColor(0x123456);
        swatch.addObserver([&](const ui::Widget&, std::string_view what) {
            if (what == "backColor") toldAtPaint = host.changes.size();
        });
        desktop.colorAnswers.push_back(0xABCDEF);
        desktop.colorRequests.clear();
        forget();
        button.click();
        ASSERT_EQ(desktop.colorRequests.size(), 1u);
        EXPECT_EQ(std::pair(desktop.colorRequests[0].initial, desktop.colorRequests[0].flags), std::pair(0x123456u, 3));
        EXPECT_EQ(std::pair(swatch.backColor(), toldAtPaint), std::pair(0xABCDEFu, size_t{header}));
        button.click();  // cancelled
        EXPECT_EQ(control.settings().*field, 0xABCDEFu);
        EXPECT_THAT(host.changes, ElementsAre(key, key));
    }
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
    EXPECT_EQ(std::pair(header->size, p().lblHeader(0).caption()), std::pair(9.3, std::string("Arial,9.3")));
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

// Authentication shows the login rows and moves everything below them down a
// row; grey changes nothing; switching it off hides and empties them.
TEST_F(SettingsTabsTest, AuthenticationShowsTheLoginRowsUntilItIsSwitchedOff) {
    auto layout = [&] {
        return std::vector<int>{p().Label20.top(), p().optEncodeType(0).top(), p().optEncodeType(1).top(),
                                p().Label21.top(), p().cboPriority.top(), p().ckHtml.top(), p().ckReceipt.top(),
                                p().fraOptions.height(), p().fmeMail.top(), p().Label16.visible(),
                                p().Label17.visible(), p().Label18.visible(), p().txtUserName.visible(),
                                p().txtPassword.visible()};
    };
    const std::vector<int> collapsed = layout();
    std::vector<int> expanded = collapsed;
    for (size_t i = 0; i < expanded.size(); ++i) expanded[i] = i < 9 ? expanded[i] + 360 : 1;
    p().chkAuthReq.click();
    EXPECT_EQ(layout(), expanded);
    p().txtUserName.type("me");
    p().txtPassword.type("secret");
    control.CollapseDetails();  // again while checked: the login stays
    p().chkAuthReq.setValue(2);
    EXPECT_EQ(layout(), expanded);
    EXPECT_EQ(control.UserName() + control.Password(), "mesecret");
    p().chkAuthReq.click();
    EXPECT_EQ(layout(), collapsed);
    EXPECT_EQ(control.UserName() + control.Password(), "");
    EXPECT_THAT(host.changes, ElementsAre("SMTPAuthentication", "SMTPAuthentication", "SMTPAuthentication"));
}

// UU encoding clears and disables HTML body, receipt and priority; MIME
// enables them again.
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

// Only the arrow keys move the priority list: End and Home are cancelled.
TEST_F(SettingsTabsTest, OnlyTheArrowKeysMoveThePriorityList) {
    for (int key : {35, 40, 36}) p().cboPriority.keyDown(key);
    EXPECT_EQ(std::pair(p().cboPriority.text(), control.MailPriority()), std::pair(std::string("High"), 1));
}

// In mail mode the attachment follows the output file; the login survives a
// switch to file mode and back.
TEST_F(SettingsTabsTest, TheAttachmentFollowsTheOutputFileAndTheLoginSurvivesFileMode) {
    p().chkAuthReq.click();
    p().txtUserName.type("me");
    p().chkOption(10).click();
    p().chkOption(10).click();
    control.OutputFile("/data/next.csv");
    EXPECT_EQ(control.UserName() + "|" + control.MailAttachment() + "|" + p().txtAttach.text(),
              "me|/data/next.csv|/data/next.csv");
}

}  // namespace
}  // namespace varnelo
