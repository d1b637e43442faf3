// varnelo-export --send: the export mailed through a real SMTP server on loopback; a refused send fails the command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mail/loopback_smtp.h"

namespace {

using namespace varnelo::testing_support;
using ::testing::AllOf, ::testing::HasSubstr, ::testing::Not;

TEST(ExportSendTest, TheExportedFileArrivesUuEncodedOverStartTlsWithThePasswordFromTheEnvironment) {
    TempDir dir;
    LoopbackSmtp smtp(dir.path());
    const std::string out = dir.file("orders.csv");
    auto send = [&](const std::string& to) {
        return runShell("VARNELO_SMTP_CAFILE=" + shellQuote(dir.file("cert.pem")) +
                        " VARNELO_SMTP_PASSWORD=" + shellQuote(LoopbackSmtp::kPassword) + " " VARNELO_EXPORT_BIN +
                        " --quiet --send -o " + shellQuote(out) + " --set MailSMTPServer=" + smtp.server("tls") +
                        " --set MailFrom=exports@example.org --set " + shellQuote("MailTo=" + to) +
                        " --set MailBcc=audit@example.org --set " + shellQuote("MailSubject=Umsätze März") +
                        " --set MailMessage=Attached. --set MailFormat=1 --set MailPriority=1"
                        " --set SMTPAuthentication=1 --set UserName=" + LoopbackSmtp::kUser);
    };

    const auto [status, output] = send("ana@example.org; bo@example.org");
    ASSERT_EQ(status, 0) << output;
    const auto mails = smtp.delivered("tls");
    ASSERT_EQ(mails.size(), 1u);
    const DeliveredMail& m = mails[0];
    EXPECT_EQ(m["envelope-to"] + "|" + m["authenticated"] + "|" + m["header Subject"] + "|" + m["header X-Priority"] +
                  "|" + m["uu-name"],
              "ana@example.org bo@example.org audit@example.org|1|Umsätze März|1 (Highest)|orders.csv");
    EXPECT_EQ(m["uu-hex"], hexOf(readFile(out)));
    EXPECT_THAT(m.raw, Not(HasSubstr("audit@example.org")));
    // A recipient the server refuses: an error with its reply, nothing sent.
    smtp.clear();
    const auto [refusedStatus, refusedOutput] = send("refused@example.org");
    EXPECT_EQ(refusedStatus, 1);
    EXPECT_THAT(refusedOutput, AllOf(HasSubstr("550"), HasSubstr("Varnelo.SendMail")));
    EXPECT_TRUE(smtp.delivered("tls").empty());
}

}  // namespace
