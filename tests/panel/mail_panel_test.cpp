// The mail tab and the switch between file mode and mail mode, driven as a
// user drives them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;

class MailPanelTest : public testing_control::ControlTest {
protected:
    MailPanelTest() {
        control.OutputFile("/data/out.csv");
        p().chkOption(10).click();  // mail mode: the mail tab is available
        forget();
    }
    std::vector<int> layout() {
        return {p().Label20.top(),     p().optEncodeType(0).top(), p().optEncodeType(1).top(), p().Label21.top(),
                p().cboPriority.top(), p().ckHtml.top(),           p().ckReceipt.top(),        p().fraOptions.height(),
                p().fmeMail.top()};
    }
    std::vector<bool> loginShown() {
        return {p().Label16.visible(), p().Label17.visible(), p().Label18.visible(), p().txtUserName.visible(),
                p().txtPassword.visible()};
    }
};

TEST_F(MailPanelTest, AuthenticationShowsTheLoginRowsAndKeepsThemUntilItIsSwitchedOff) {
    const std::vector<int> collapsed = {1200, 1200, 1200, 1605, 1560, 2160, 2160, 2595, 3120};
    const std::vector<int> expanded = {1560, 1560, 1560, 1965, 1920, 2520, 2520, 2955, 3480};
    EXPECT_EQ(layout(), collapsed);
    EXPECT_EQ(loginShown(), std::vector<bool>(5, false));

    p().chkAuthReq.click();
    EXPECT_EQ(control.SMTPAuthentication(), 1);
    EXPECT_THAT(host.changes, ElementsAre("SMTPAuthentication"));
    EXPECT_EQ(layout(), expanded);
    EXPECT_EQ(loginShown(), std::vector<bool>(5, true));
    p().txtUserName.type("me");
    p().txtPassword.type("secret");

    control.CollapseDetails();  // again while checked: the login stays
    EXPECT_EQ(control.UserName(), "me");
    EXPECT_EQ(control.Password(), "secret");

    p().chkAuthReq.setValue(2);  // grey: nothing moves, nothing is emptied
    EXPECT_EQ(layout(), expanded);
    EXPECT_EQ(control.UserName(), "me");

    p().chkAuthReq.click();  // off
    EXPECT_EQ(layout(), collapsed);
    EXPECT_EQ(loginShown(), std::vector<bool>(5, false));
    EXPECT_EQ(control.UserName(), "");
    EXPECT_EQ(control.Password(), "");
}

TEST_F(MailPanelTest, UuEncodingSwitchesOffHtmlReceiptAndPriority) {
    p().ckHtml.click();
    p().ckReceipt.click();
    forget();
    p().optEncodeType(1).click();
    EXPECT_EQ(control.MailFormat(), EncodingUU);
    EXPECT_EQ(control.settings().encodingCode, 1);
    EXPECT_EQ(control.MailHTMLBody(), 0);
    EXPECT_EQ(control.MailReceipt(), 0);
    EXPECT_FALSE(p().ckHtml.enabled() || p().ckReceipt.enabled() || p().cboPriority.enabled());
    EXPECT_THAT(host.changes, ElementsAre("MailFormat"));

    p().optEncodeType(0).click();
    EXPECT_EQ(control.settings().encodingCode, 0);
    EXPECT_TRUE(p().ckHtml.enabled() && p().ckReceipt.enabled() && p().cboPriority.enabled());
    EXPECT_EQ(control.MailHTMLBody(), 0) << "enabled again, still unchecked";
}

TEST_F(MailPanelTest, PriorityEntriesGiveTheirCodesAndOnlyArrowsMoveTheList) {
    ui::ComboBox& list = p().cboPriority;
    EXPECT_THAT(list.list(), ElementsAre("Normal", "High", "Low"));
    const std::pair<int, int32_t> entries[] = {{1, 1}, {2, 5}, {0, 3}};
    for (auto [index, code] : entries) {
        forget();
        list.pick(index);
        EXPECT_EQ(control.MailPriority(), code);
        EXPECT_EQ(control.settings().priorityCode, code);
        EXPECT_THAT(host.changes, ElementsAre("MailPriority"));
    }
    list.keyPress('H');
    list.keyDown('H');
    list.keyDown(35);  // End, which would move a list
    EXPECT_EQ(list.text(), "Normal");
    EXPECT_EQ(control.MailPriority(), 3);
    list.keyDown(40);
    EXPECT_EQ(list.text(), "High");
    EXPECT_EQ(control.MailPriority(), 1);
    list.keyDown(38);
    EXPECT_EQ(control.MailPriority(), 3);
}

TEST_F(MailPanelTest, TheSendThroughMailBoxSwitchesTheWholePanel) {
    // In mail mode now (the fixture clicked the box).
    EXPECT_EQ(control.MailAttachment(), "/data/out.csv");
    EXPECT_TRUE(p().SSTab1.tab(2).enabled);
    EXPECT_FALSE(p().chkSaveTo(0).enabled());
    EXPECT_FALSE(p().optSaveTo(0).enabled());
    EXPECT_FALSE(p().cmdSave.visible());
    EXPECT_TRUE(p().cmdSend.visible());

    p().chkAuthReq.click();
    p().txtUserName.type("me");
    p().chkOption(10).click();  // back to file mode
    EXPECT_EQ(control.settings().SendThroughMail, 0);
    EXPECT_EQ(control.MailAttachment(), "");
    EXPECT_FALSE(p().SSTab1.tab(2).enabled);
    EXPECT_TRUE(p().chkSaveTo(0).enabled());
    EXPECT_TRUE(p().cmdSave.visible());
    EXPECT_FALSE(p().cmdSend.visible());
    EXPECT_FALSE(p().txtUserName.reachable()) << "the mail tab is out of reach";
    EXPECT_THAT(host.changes, ElementsAre("SMTPAuthentication", "SendThroughMail", "MailAttachment"));

    forget();
    p().chkOption(10).click();  // mail mode again: the attachment follows the file, the login stays
    EXPECT_THAT(host.changes, ElementsAre("SendThroughMail", "MailAttachment"));
    EXPECT_EQ(control.UserName(), "me");
    EXPECT_TRUE(p().txtUserName.reachable());
    forget();
    control.OutputFile("/data/next.csv");
    EXPECT_EQ(control.MailAttachment(), "/data/next.csv");
    EXPECT_EQ(p().txtAttach.text(), "/data/next.csv");
}

}  // namespace
}  // namespace varnelo
