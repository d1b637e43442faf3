// SaveNSend: the control's settings sent by its own mailer to an SMTP server on loopback, read back with Python.
#include <gmock/gmock.h>

#include "control/control_fixture.h"
#include "mail/loopback_smtp.h"
#include "varnelo/memory_recordset.h"

namespace varnelo::testing_control {
namespace {

using ::testing::AllOf, ::testing::ElementsAre, ::testing::HasSubstr, ::testing::Not, testing_support::DeliveredMail;
using testing_support::LoopbackSmtp, testing_support::TempDir;

class MailDispatchTest : public ControlTest {
protected:
    static void SetUpTestSuite() { folder_ = std::make_unique<TempDir>(), smtp_ = std::make_unique<LoopbackSmtp>(folder_->path()); }
    static void TearDownTestSuite() { smtp_.reset(), folder_.reset(); }
    MailDispatchTest() {
        smtp_->clear(), control.DataSource(oneRow()), control.OutputFile(out), control.SendThroughMail(1);
        control.MailSMTPServer(" " + server + " "), control.MailFrom("exports@example.org");
        control.MailTo("ana@example.org;bo@example.org"), control.MailSubject("Orders"), control.MailMessage("Attached."), forget();
    }
    static RecordsetPtr oneRow() {
        return std::make_shared<MemoryRecordset>(std::vector<std::string>{"id"}, std::vector<int>{adtype::kInteger},
                                                 std::vector<std::vector<Variant>>{{7}});
    }
    static DeliveredMail mail() {  // the one mail that arrived
        auto mails = smtp_->delivered("plain");
        EXPECT_EQ(mails.size(), 1u);
        return mails.empty() ? DeliveredMail{} : mails[0];
    }

    inline static std::unique_ptr<TempDir> folder_;
    inline static std::unique_ptr<LoopbackSmtp> smtp_;
    TempDir dir;
    std::string out = dir.file("orders.csv"), server = smtp_->server("plain");
};

// Every setting reaches the mail; the footer is never sent; the server text is read back from the mailer.
TEST_F(MailDispatchTest, EverySettingReachesTheMailAndTheServerIsReadBack) {
    control.MailCc("cy@example.org"), control.MailBcc("hidden@example.org"), control.MailFooter("never sent");
    control.MailAttachment("  " + out + "  "), control.MailPriority(PriorityLow);
    control.MailHTMLBody(1), control.MailReceipt(1), control.SMTPAuthentication(1);
    control.UserName(LoopbackSmtp::kUser), control.Password(LoopbackSmtp::kPassword);
    control.SaveNSend();
    const DeliveredMail m = mail();
    EXPECT_EQ(m["envelope-to"] + "|" + m["header To"] + "|" + m["header Cc"] + "|" + m["header From"] + "|" +
                  m["header Subject"] + "|" + m["body"] + "|" + m["header X-Priority"] + "|" +
                  m["header Disposition-Notification-To"] + "|" + m["authenticated"] + "|" + m["attachment-name"] + "|" +
                  m["attachment-hex"],
              "ana@example.org bo@example.org cy@example.org hidden@example.org|ana@example.org, bo@example.org|"
              "cy@example.org|exports@example.org|Orders|Attached.|5 (Lowest)|exports@example.org|1|orders.csv|" +
                  testing_support::hexOf("id\r\n7"));
    EXPECT_THAT(m.raw, AllOf(HasSubstr("\r\nContent-Type: text/html"), Not(HasSubstr("hidden"))));
    EXPECT_EQ(control.MailSMTPServer() + std::to_string(desktop.messages.size()), server + "0");
}

// The checks in order; the first missing one is the only message, nothing is written or sent; a blank is not missing.
TEST_F(MailDispatchTest, TheFirstMissingDetailIsNamedAndNothingIsWrittenOrSent) {
    Panel& p = panelOf(control);
    control.MailSubject(" ");
    const std::pair<std::function<void()>, const char*> steps[] = {
        {[&] { p.txtSubject.setText(""); }, "Please enter Subject to proceed."},
        {[&] { p.txtTo.setText(""); }, "Please 'To' mail id to proceed."},
        {[&] { p.txtFrom.setText(""); }, "Please enter 'From' mail id to proceed."},
        {[&] { p.cboPriority.setText(""); }, "Please select mail priority to proceed."},
        {[&] { p.optEncodeType(0).setDesignValue(false); }, "Please select mail encode format detail to proceed."},
        {[&] { p.txtServer.setText(""); }, "Please enter SMTP Server detail to proceed."},
    };
    control.SaveNSend();  // everything present, the subject a blank
    EXPECT_EQ(mail()["envelope-to"], "ana@example.org bo@example.org");
    std::filesystem::remove(out), smtp_->clear();
    for (const auto& [clear, message] : steps) {
        clear(), forget(), control.SaveNSend();
        EXPECT_THAT(shown(), ElementsAre(std::string("Missing details: ") + message + " (48)"));
        EXPECT_TRUE(smtp_->delivered("plain").empty() && !std::filesystem::exists(out)) << "nothing written or sent";
    }
}

// A request Save refuses mails nothing, not even the file an earlier export left.
TEST_F(MailDispatchTest, NothingIsMailedWhenSaveWroteNothing) {
    testing_support::writeFile(out, "an older export");
    p().txtFileSave.setText(""), control.SaveNSend();
    EXPECT_THAT(shown(), ElementsAre("Missing Configuration: Please enter file name to proceed. (48)"));
    EXPECT_TRUE(smtp_->delivered("plain").empty());
}

// A refused send reaches the host with the server's reply; the Send button shows it once and comes back.
TEST_F(MailDispatchTest, AFailedSendReachesTheHostAsOneReportAndRestoresTheButtons) {
    control.MailTo("refused@example.org");
    const std::string report = errorOf([&] { control.SaveNSend(); }).description();
    EXPECT_THAT(report, HasSubstr("550 5.1.1 <refused@example.org>"));
    EXPECT_THAT(callStack(report), ElementsAre("Varnelo.SendMail", "Varnelo.SaveNSend"));
    EXPECT_EQ(control.MailSMTPServer(), " " + server + " ");  // not read back from a failed send
    p().cmdSend.click();
    EXPECT_TRUE(desktop.reports.size() == 1 && p().cmdSend.visible() && !p().cmdSave.visible());
    EXPECT_THAT(desktop.calls, ::testing::Contains("closeWait"));
}

// Without Show there is no mail component: the send fails as an object not set.
TEST_F(MailDispatchTest, ANeverShownControlCannotSend) {
    Varnelo hidden(host, desktop);  // a second control on the same host, never shown
    hidden.UserControl_Initialize(), hidden.UserControl_InitProperties();
    hidden.DataSource(oneRow()), hidden.OutputFile(dir.file("hidden.csv"));
    hidden.MailSMTPServer(server), hidden.MailFrom("f@x.org"), hidden.MailTo("t@x.org"), hidden.MailSubject("s");
    panelOf(hidden).optEncodeType(0).setDesignValue(true), panelOf(hidden).cboPriority.setText("Normal");
    EXPECT_EQ(errorOf([&] { hidden.SaveNSend(); }).number(), err::kObjectNotSet);
}

}  // namespace
}  // namespace varnelo::testing_control
