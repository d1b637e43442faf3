// The mail's pieces on their own (address lists, the server text and its TLS demand, line lengths), then the SMTP
// mailer and varnelo-export --send against real servers on loopback, read back with Python's email package.
#include <gmock/gmock.h>

#include <chrono>

#include "mail/loopback_smtp.h"
#include "mail/mail_message.h"
#include "mail/smtp_mailer.h"
#include "varnelo/mailer.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_support;
using namespace ::testing;
using Fields = std::map<std::string, std::string>;

// Entries split on the separator and "," outside quotes and brackets; no mailbox is refused naming the field.
TEST(MailAddresses, SplitOutsideQuotesAndRefuseWhatIsNoMailbox) {
    std::string got;
    for (const auto& a : mail::parseAddressList("\"Doe, Jo| Jr\" <jo@x.org>| \"Say \\\"hi\\\"\" <q@x.org>,, b@x.org |", "|", "To"))
        got += "[" + a.name + "/" + a.mailbox + "]";
    EXPECT_EQ(got, "[Doe, Jo| Jr/jo@x.org][Say \"hi\"/q@x.org][/b@x.org]");
    // Without a separator ";" is part of the mailbox, and no mailbox holds it.
    for (const char* bad : {"a@x.org;b@x.org", "two words@x.org", "<>", "Name <a b@x.org>", "a@x.org\r\nBcc: v@x.org"}) {
        const Error e = errorOf([&] { mail::parseAddressList(bad, "", "Cc"); });
        EXPECT_EQ(std::to_string(e.number()) + (e.description().find("Cc") == std::string::npos ? "" : " Cc"),
                  std::to_string(err::kInvalidPropertyValue) + " Cc") << bad;
    }
}

// TLS is demanded for smtps and for a login to anything but a trusted loopback address.
TEST(SmtpRoute, ServerTextGivesTheUrlAndWhetherTlsIsDemanded) {
    const struct { const char* server; bool authenticate, trustLoopback; std::string route; } cases[] = {
        {"mail.example.org", false, true, "smtp://mail.example.org:25"},
        {" mail.example.org:587 ", true, true, "smtp://mail.example.org:587 TLS"},
        {"SMTPS://mail.example.org", false, true, "smtps://mail.example.org:465 TLS"},
        {"smtp://localhost:2525/", true, true, "smtp://localhost:2525"}, {"127.3.4.5:26", true, true, "smtp://127.3.4.5:26"},
        {"127.0.0.1", true, false, "smtp://127.0.0.1:25 TLS"}, {"[::1]:2525", true, true, "smtp://[::1]:2525"},
        {"2001:db8::25", true, true, "smtp://[2001:db8::25]:25 TLS"}, {"128.0.0.1", true, true, "smtp://128.0.0.1:25 TLS"}};
    for (const auto& c : cases) {
        const SmtpRoute r = smtpRoute(c.server, c.authenticate, c.trustLoopback);
        EXPECT_EQ(r.url + (r.requireTls ? " TLS" : ""), c.route);
    }
    for (const char* bad : {"", "   ", "host:", "host:0", "host:65536", "host:25x", "user@host", "host/path",
                            "smtp://", "[::1", "[nonsense]:25", "a b"})
        EXPECT_EQ(errorOf([&] { smtpRoute(bad, false, true); }).number(), err::kInvalidPropertyValue) << bad;
}

// Headers fold within 78 even without a blank or with broken UTF-8; QP lines stay within 76, end blanks escaped.
TEST(MailText, HeadersFoldWithin78AndQuotedPrintableWithin76) {
    for (const std::string& subject : {std::string(300, 'y'), std::string(100, '\xc3')})
        EXPECT_THAT(mail::headerLine("Subject", mail::encodeHeaderText(subject)), Not(ContainsRegex("[^\r\n]{79}")));
    const std::string qp = mail::quotedPrintable(std::string(200, '=') + "\r\n" + std::string(90, 'a') + " \r\nend\t");
    EXPECT_THAT(qp, AllOf(Not(ContainsRegex("[^\r\n]{77}")), HasSubstr("a=20\r\nend=09")));
}

// Every byte value, 1031 bytes (no whole UU line, no multiple of 3), and a line that would end unstuffed SMTP data.
std::string binaryFile() {
    std::string bytes;
    for (int b = 0; b < 1023; ++b) bytes += static_cast<char>(b);
    return bytes + "\r\n.\r\nend";
}

class SmtpMailerTest : public Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<testing_support::TempDir>();
        smtp_ = std::make_unique<LoopbackSmtp>(dir_->path());
        for (const char* name : {"Umsätze März.csv", "orders.csv"}) writeFile(dir_->file(name), binaryFile());
    }
    static void TearDownTestSuite() { smtp_.reset(), dir_.reset(); }
    void reset() { smtp_->clear(), log_ = {}; }

    // A mailer with the least a send needs, its events logged; it logs in when given a password.
    std::unique_ptr<Mailer> mailer(const std::string& server, SmtpOptions options = {}, const char* password = nullptr) {
        auto m = makeSmtpMailer(std::move(options));
        m->setEvents({[this](int32_t p) { log_.progress.push_back(p); },
                      [this](const std::string& why) { log_.failed.push_back(why); }, [this] { ++log_.successes; },
                      [this](const std::string& s) { log_.status.push_back(s); }});
        m->setSmtpHost(smtp_->server(server)), m->setFrom("exports@example.org"), m->setRecipient("ana@example.org");
        m->setUseAuthentication(password != nullptr), m->setUserName(LoopbackSmtp::kUser), m->setPassword(password ? password : "");
        return m;
    }
    // The one mail `server` got, holding the fields of `want`, sound and in lines of at most 78.
    static DeliveredMail expectMail(const std::string& server, Fields want) {
        auto mails = smtp_->delivered(server);
        EXPECT_EQ(mails.size(), 1u);
        mails.resize(1);
        Fields got;
        want.emplace("defects", "");
        for (const auto& field : want) got[field.first] = mails[0][field.first];
        EXPECT_EQ(got, want);
        EXPECT_LE(std::stoi(mails[0]["longest-line"]), 78);
        return mails[0];
    }
    // Sending raises `number` with a description `text` matches, reported once as the failure, and nothing arrives.
    void expectFailure(Mailer& m, int32_t number, const Matcher<const std::string&>& text) {
        const Error e = errorOf([&] { m.send(); });
        EXPECT_EQ(e.number(), number) << e.description();
        EXPECT_THAT(e.description(), text);
        EXPECT_THAT(log_.failed, ElementsAre(e.description()));
        EXPECT_TRUE(log_.successes == 0 && smtp_->delivered("plain").empty() && smtp_->delivered("tls").empty());
    }

    inline static std::unique_ptr<testing_support::TempDir> dir_;
    inline static std::unique_ptr<LoopbackSmtp> smtp_;
    struct { std::vector<int32_t> progress; std::vector<std::string> status, failed; int successes = 0; } log_;
};

// What arrives is what was sent: envelope (Bcc only there), headers, text in its transfer encoding, the attachment
// as MIME part or UU block after the text; the password over STARTTLS to a certificate named in the options, or in
// clear text to loopback.
TEST_F(SmtpMailerTest, MailArrivesAsSent) {
    const std::string subject = "Bestellübersicht für März — " + std::string(60, 'x') + " und alle Lieferungen";
    const std::string body = "First line\n.a line that starts with a dot\n" + std::string(120, 'x') +
                             " ünïcödé\ntrailing blanks   \nlast";
    const std::string html = "<p>See the file below.</p>\n";
    const SmtpOptions trusting{.caFile = dir_->file("cert.pem")};
    const struct { std::string server; SmtpOptions options; std::function<void(Mailer&)> set; Fields want; } cases[] = {
        {"plain", {}, [&](Mailer& m) {
             m.setSmtpHost(" " + smtp_->server("plain") + " "), m.setFromDisplayName("Export Robot");
             m.setRecipient("ana@example.org; Bö Lì <bo@example.org>"), m.setCcRecipient("\"Doe, Jo\" <jo@example.org>");
             m.setBccRecipient(" hidden1@example.org, hidden2@example.org ;");
             m.setSubject(subject), m.setMessage(body), m.setPriority(kMailPriorityHigh), m.setReceipt(true);
             m.setAttachment("  " + dir_->file("Umsätze März.csv") + " ");
         },
         {{"envelope-from", "exports@example.org"}, {"authenticated", "1"}, {"tls", "0"},
          {"envelope-to", "ana@example.org bo@example.org jo@example.org hidden1@example.org hidden2@example.org"},
          {"header From", "Export Robot <exports@example.org>"}, {"header Cc", "\"Doe, Jo\" <jo@example.org>"},
          {"header To", "ana@example.org, Bö Lì <bo@example.org>"}, {"header Subject", subject},
          {"header X-Priority", "1 (Highest)"}, {"header Importance", "high"}, {"date-ok", "1"},
          {"header Disposition-Notification-To", "Export Robot <exports@example.org>"}, {"body", body},
          {"attachment-name", "Umsätze März.csv"}, {"attachment-type", "text/csv"},
          {"attachment-hex", hexOf(binaryFile())}}},
        {"plain", {}, [&](Mailer& m) {
             m.setFromDisplayName("exports@example.org");  // only repeats the address: left out
             m.setMessage(html), m.setAsHtml(true), m.setAttachment(dir_->file("orders.csv"));
             m.setEncoding(kMailEncodingUu), m.setPriority(kMailPriorityLow);
         },
         {{"header From", "exports@example.org"}, {"header Content-Type", "text/html; charset=\"UTF-8\""},
          {"header Content-Transfer-Encoding", "7bit"}, {"header X-Priority", "5 (Lowest)"},
          {"header Importance", "low"}, {"header Disposition-Notification-To", "<none>"}, {"attachment-hex", "<none>"},
          {"body-before-uu", html}, {"uu-name", "orders.csv"}, {"uu-hex", hexOf(binaryFile())}}},
        {"tls", trusting, [](Mailer&) {}, {{"tls", "1"}, {"authenticated", "1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        reset();
        auto m = mailer(c.server, c.options, LoopbackSmtp::kPassword);
        c.set(*m), m->send();
        const DeliveredMail mail = expectMail(c.server, c.want);
        EXPECT_THAT(mail.raw, Not(HasSubstr("hidden")));
        EXPECT_THAT(smtp_->authLog(c.server), MatchesRegex("[A-Z]+ " + mail["tls"] + " 1\n"));
        EXPECT_EQ(std::tuple(log_.progress.empty() ? -1 : log_.progress.back(), log_.successes, log_.failed.size()),
                  std::tuple(100, 1, 0u));
        EXPECT_THAT(log_.status, Contains(StartsWith("250 2.0.0 Ok: queued")));
    }
}

// Failures once connected, each its own error; no password in clear off loopback or to an untrusted certificate.
TEST_F(SmtpMailerTest, FailuresRaiseTheirErrorAndDeliverNothing) {
    const SmtpOptions untrusting{.caFile = "", .trustLoopback = false}, quick{.caFile = "", .timeout = std::chrono::seconds(1)};
    const auto from = [](const char* address) { return [address](Mailer& m) { m.setFrom(address); }; };
    const struct { std::string server; SmtpOptions options; const char* password; std::function<void(Mailer&)> set;
                   int32_t number; Matcher<const std::string&> text; } cases[] = {
        {"plain", untrusting, LoopbackSmtp::kPassword, nullptr, mailerr::kTlsUnavailable, HasSubstr("offers no TLS")},
        {"tls", {}, LoopbackSmtp::kPassword, nullptr, mailerr::kTlsFailed, HasSubstr("TLS connection")},
        {"plain", {}, "wrong", nullptr, mailerr::kAuthenticationFailed,
         AllOf(HasSubstr("\"mailer\""), HasSubstr("535"), Not(HasSubstr("wrong")))},
        {"plain", {}, nullptr, from("refused@example.org"), mailerr::kRefused, HasSubstr("550 5.1.0 <refused@example.org>")},
        {"plain", {}, nullptr, [](Mailer& m) { m.setBccRecipient("ok@example.org; refused@example.org"); },
         mailerr::kRefused, HasSubstr("550 5.1.1 <refused@example.org>: Recipient address rejected")},
        {"closed", {}, nullptr, nullptr, mailerr::kServerUnreachable, HasSubstr(smtp_->server("closed"))},
        {"silent", quick, nullptr, nullptr, mailerr::kTimedOut, HasSubstr("stopped answering")},
        {"plain", quick, nullptr, from("stalled@example.org"), mailerr::kTimedOut, HasSubstr("stopped answering")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        reset();
        auto m = mailer(c.server, c.options, c.password);
        if (c.set) c.set(*m);
        const auto start = std::chrono::steady_clock::now();
        expectFailure(*m, c.number, c.text);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(smtp_->authLog("plain").empty() && smtp_->authLog("tls").empty(),
                  c.number != mailerr::kAuthenticationFailed);
    }
}

// Bad values are refused before any connection: not even "Connecting" is reported.
TEST_F(SmtpMailerTest, BadValuesAreRefusedBeforeAnyConnection) {
    const std::string missing = dir_->file("no such export.csv");
    const struct { std::function<void(Mailer&)> set; int32_t number; std::string names; } cases[] = {
        {[](Mailer& m) { m.setSubject("Orders\r\nBcc: victim@example.org"); }, err::kInvalidPropertyValue, "subject"},
        {[](Mailer& m) { m.setFromDisplayName("Robot\r\nX-Evil: 1"); }, err::kInvalidPropertyValue, "sender"},
        {[](Mailer& m) { m.setRecipient(" ; "); }, err::kInvalidPropertyValue, "no recipient"},
        {[](Mailer& m) { m.setUseAuthentication(true), m.setUserName(""); }, err::kInvalidPropertyValue, "user name"},
        {[&](Mailer& m) { m.setAttachment(missing); }, err::kFileNotFound, missing},
        {[&](Mailer& m) { m.setAttachment(dir_->path().string()); }, err::kPathFileAccess, "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.names);
        reset();
        auto m = mailer("closed");
        c.set(*m), expectFailure(*m, c.number, HasSubstr(c.names));
        EXPECT_TRUE(log_.status.empty());
    }
    auto m = makeSmtpMailer();
    EXPECT_EQ(errorOf([&] { m->setPriority(2); }).number(), err::kInvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { m->setEncoding(2); }).number(), err::kInvalidPropertyValue);
}

// varnelo-export --send: the export mailed through the real server; a refused send fails the command.
TEST_F(SmtpMailerTest, TheExportedFileArrivesUuEncodedOverStartTlsWithThePasswordFromTheEnvironment) {
    reset();
    const std::string out = dir_->file("export.csv");
    auto send = [&](const std::string& to) {
        return runShell("VARNELO_SMTP_CAFILE=" + shellQuote(dir_->file("cert.pem")) +
                        " VARNELO_SMTP_PASSWORD=" + shellQuote(LoopbackSmtp::kPassword) + " " VARNELO_EXPORT_BIN +
                        " --quiet --send -o " + shellQuote(out) + " --set MailSMTPServer=" + smtp_->server("tls") +
                        " --set MailFrom=exports@example.org --set " + shellQuote("MailTo=" + to) +
                        " --set MailBcc=audit@example.org --set " + shellQuote("MailSubject=Umsätze März") +
                        " --set MailMessage=Attached. --set MailFormat=1 --set MailPriority=1"
                        " --set SMTPAuthentication=1 --set UserName=" + LoopbackSmtp::kUser);
    };

    const auto [status, output] = send("ana@example.org; bo@example.org");
    ASSERT_EQ(status, 0) << output;
    const DeliveredMail m = expectMail("tls", {{"envelope-to", "ana@example.org bo@example.org audit@example.org"},
        {"authenticated", "1"}, {"tls", "1"}, {"header Subject", "Umsätze März"}, {"header X-Priority", "1 (Highest)"},
        {"uu-name", "export.csv"}, {"uu-hex", hexOf(readFile(out))}});
    EXPECT_THAT(m.raw, Not(HasSubstr("audit@example.org")));
    reset();  // a recipient the server refuses: an error with its reply, nothing sent
    const auto [refusedStatus, refusedOutput] = send("refused@example.org");
    EXPECT_EQ(refusedStatus, 1);
    EXPECT_THAT(refusedOutput, AllOf(HasSubstr("550"), HasSubstr("Varnelo.SendMail")));
    EXPECT_TRUE(smtp_->delivered("tls").empty());
}

}  // namespace
