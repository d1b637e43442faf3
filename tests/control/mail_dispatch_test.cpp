// SaveNSend and the mail dispatch, with a mailer that records what the
// control hands it (the SMTP exchange itself is proven in tests/mail).
#include <gmock/gmock.h>

#include "control/control_fixture.h"
#include "varnelo/memory_recordset.h"

namespace varnelo::testing_control {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing_support::TempDir;

struct MailLog {
    std::vector<std::string> calls;  // "setter=value", then "send"
    int instances = 0;
    std::optional<Error> failure;    // what send() raises
};

class RecordingMailer : public Mailer {
public:
    explicit RecordingMailer(MailLog& log) : log_(log) { ++log_.instances; }
    void setEvents(MailerEvents e) override { events_ = std::move(e); }
    void setAddressSeparator(const std::string& v) override { note("separator", v); }
    void setSmtpHost(const std::string& v) override { note("host", v); }
    std::string smtpHost() const override { return "relay.example.org:25"; }
    void setFrom(const std::string& v) override { note("from", v); }
    void setFromDisplayName(const std::string& v) override { note("fromName", v); }
    void setRecipient(const std::string& v) override { note("to", v); }
    void setCcRecipient(const std::string& v) override { note("cc", v); }
    void setBccRecipient(const std::string& v) override { note("bcc", v); }
    void setSubject(const std::string& v) override { note("subject", v); }
    void setMessage(const std::string& v) override { note("message", v); }
    void setAttachment(const std::string& v) override { note("attachment", v); }
    void setAsHtml(bool v) override { note("html", std::to_string(v)); }
    void setEncoding(int32_t v) override { note("encoding", std::to_string(v)); }
    void setPriority(int32_t v) override { note("priority", std::to_string(v)); }
    void setReceipt(bool v) override { note("receipt", std::to_string(v)); }
    void setUseAuthentication(bool v) override { note("auth", std::to_string(v)); }
    void setUserName(const std::string& v) override { note("user", v); }
    void setPassword(const std::string& v) override { note("password", v); }
    void send() override {
        log_.calls.push_back("send");
        events_.status("250 OK");
        events_.progress(100);
        if (log_.failure) {
            events_.sendFailed(log_.failure->description());
            throw *log_.failure;
        }
        events_.sendSuccesful();
    }

private:
    void note(const char* what, const std::string& v) { log_.calls.push_back(std::string(what) + "=" + v); }
    MailLog& log_;
    MailerEvents events_;
};

class MailDispatchTest : public ::testing::Test {
protected:
    MailDispatchTest() : control(host, desktop) {
        control.setMailerFactory([this] { return std::make_unique<RecordingMailer>(log); });
        control.UserControl_Initialize();
        control.UserControl_InitProperties();
        control.UserControl_Show();
        control.DataSource(oneRow());
        control.OutputFile(out);
        control.SendThroughMail(1);
        control.MailSMTPServer("smtp.example.org");
        control.MailFrom("exports@example.org");
        control.MailTo("ana@example.org;bo@example.org");
        control.MailSubject("Orders");
        control.MailMessage("Attached.");
    }
    static RecordsetPtr oneRow() {
        return std::make_shared<MemoryRecordset>(std::vector<std::string>{"id"}, std::vector<int>{adtype::kInteger},
                                                 std::vector<std::vector<Variant>>{{7}});
    }

    TempDir dir;
    std::string out = dir.file("orders.csv");
    MailLog log;
    RecordingHost host;
    RecordingDesktop desktop;
    Varnelo control;
};

TEST_F(MailDispatchTest, EverySettingReachesTheMailerInItsOrderThenTheServerIsReadBack) {
    control.MailCc("cy@example.org");
    control.MailBcc("hidden@example.org");
    control.MailFooter("never sent");
    control.MailAttachment("  " + out + "  ");
    control.MailPriority(PriorityLow);  // a host's priority reaches the mail
    control.MailHTMLBody(1);
    control.MailReceipt(1);
    control.SMTPAuthentication(1);
    control.UserName("");
    control.Password("pw");
    control.SaveNSend();

    EXPECT_THAT(log.calls,
                ElementsAre("separator=;", "host=smtp.example.org", "from=exports@example.org",
                            "to=ana@example.org;bo@example.org", "cc=cy@example.org", "bcc=hidden@example.org",
                            "fromName=exports@example.org", "subject=Orders", "message=Attached.",
                            "attachment=" + out, "html=1", "encoding=0", "priority=5", "receipt=1", "auth=1",
                            "user=", "password=pw", "send"));
    EXPECT_EQ(control.MailSMTPServer(), "relay.example.org:25");
    EXPECT_EQ(testing_support::readFile(out), "id\r\n7");
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MailDispatchTest, UuEncodingAndThePriorityListGiveTheirCodes) {
    panelOf(control).optEncodeType(1).setValue(true);  // UU: no HTML, no receipt
    panelOf(control).cboPriority.setListIndex(1);      // "High"
    control.SaveNSend();
    EXPECT_THAT(log.calls, ::testing::Contains("encoding=1"));
    EXPECT_THAT(log.calls, ::testing::Contains("priority=1"));
    EXPECT_THAT(log.calls, ::testing::Contains("html=0"));
}

// The checks in their order; the first missing one is the only message, and
// nothing is written or sent. A blank is not missing.
TEST_F(MailDispatchTest, TheFirstMissingDetailIsNamedAndNothingIsWrittenOrSent) {
    Panel& p = panelOf(control);
    control.MailSubject(" ");
    struct Step {
        std::function<void()> clear;
        const char* message;
    };
    const std::vector<Step> steps = {
        {[&] { p.txtSubject.setText(""); }, "Please enter Subject to proceed."},
        {[&] { p.txtTo.setText(""); }, "Please 'To' mail id to proceed."},
        {[&] { p.txtFrom.setText(""); }, "Please enter 'From' mail id to proceed."},
        {[&] { p.cboPriority.setText(""); }, "Please select mail priority to proceed."},
        {[&] { p.optEncodeType(0).setDesignValue(false); }, "Please select mail encode format detail to proceed."},
        {[&] { p.txtServer.setText(""); }, "Please enter SMTP Server detail to proceed."},
    };
    control.SaveNSend();  // everything present, the subject a blank
    ASSERT_EQ(log.calls.back(), "send");
    std::filesystem::remove(out);
    for (const Step& s : steps) {
        s.clear();
        desktop.messages.clear();
        log.calls.clear();
        control.SaveNSend();
        ASSERT_EQ(desktop.messages.size(), 1u) << s.message;
        EXPECT_EQ(desktop.messages[0].text, s.message);
        EXPECT_EQ(desktop.messages[0].title, "Missing details");
        EXPECT_EQ(desktop.messages[0].style, mb::kExclamation);
        EXPECT_TRUE(log.calls.empty());
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// A request Save refuses mails nothing, not even the file an earlier
// export left.
TEST_F(MailDispatchTest, NothingIsMailedWhenSaveWroteNothing) {
    testing_support::writeFile(out, "an older export");
    panelOf(control).txtFileSave.setText("");
    control.SaveNSend();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "Please enter file name to proceed.");
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(MailDispatchTest, AFailedSendReachesTheHostAsOneReportAndRestoresTheButtons) {
    log.failure = Error(mailerr::kRefused, "SmtpMailer", "The server refused the recipient: 550 no such user");
    const std::string report = errorOf([&] { control.SaveNSend(); }).description();
    EXPECT_THAT(report, HasSubstr("550 no such user"));
    EXPECT_THAT(callStack(report), ElementsAre("Varnelo.SendMail", "Varnelo.SaveNSend"));
    EXPECT_EQ(control.MailSMTPServer(), "smtp.example.org");  // not read back from a failed send

    // The panel's Send button: the report is shown, the button comes back
    // and the wait window closes.
    panelOf(control).cmdSend.click();
    EXPECT_EQ(desktop.reports.size(), 1u);
    EXPECT_TRUE(panelOf(control).cmdSend.visible());
    EXPECT_FALSE(panelOf(control).cmdSave.visible());
    EXPECT_THAT(desktop.calls, ::testing::Contains("closeWait"));
}

TEST_F(MailDispatchTest, EachShowMakesANewMailerAndANeverShownControlCannotSend) {
    EXPECT_EQ(log.instances, 1);
    control.UserControl_Show();
    EXPECT_EQ(log.instances, 2);

    RecordingHost otherHost;
    RecordingDesktop otherDesktop;
    Varnelo hidden(otherHost, otherDesktop);
    hidden.UserControl_Initialize();
    hidden.UserControl_InitProperties();
    hidden.DataSource(oneRow());
    hidden.OutputFile(dir.file("hidden.csv"));
    hidden.MailSMTPServer("s"), hidden.MailFrom("f@x"), hidden.MailTo("t@x"), hidden.MailSubject("s");
    panelOf(hidden).optEncodeType(0).setDesignValue(true);
    panelOf(hidden).cboPriority.setText("Normal");
    EXPECT_EQ(errorOf([&] { hidden.SaveNSend(); }).number(), err::kObjectNotSet);
}

}  // namespace
}  // namespace varnelo::testing_control
