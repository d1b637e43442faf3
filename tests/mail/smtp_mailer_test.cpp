// The SMTP mailer against real SMTP servers on loopback: every delivered
// message is read back with Python's email package, and every failure ends
// in its error without anything reported as sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "mail/loopback_smtp.h"
#include "varnelo/mailer.h"

namespace {

using namespace varnelo;
using namespace varnelo::testing_support;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

std::string binaryFile() {
    std::string bytes;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
    return bytes + "\r\n.\r\nend";  // 1031 bytes: no whole line of 45, no multiple of 3
}

struct EventLog {
    std::vector<int32_t> progress;
    std::vector<std::string> status, failed;
    int successes = 0;
    MailerEvents events() {
        return {[this](int32_t p) { progress.push_back(p); },
                [this](const std::string& why) { failed.push_back(why); }, [this] { ++successes; },
                [this](const std::string& s) { status.push_back(s); }};
    }
};

class SmtpMailerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        smtp_ = new LoopbackSmtp(dir_->path());
    }
    static void TearDownTestSuite() {
        delete smtp_;
        delete dir_;
    }
    void SetUp() override { smtp_->clear(); }

    // A mailer with the least a send needs, aimed at `variant`.
    std::unique_ptr<Mailer> mailer(const std::string& variant, SmtpOptions options = {}) {
        auto m = makeSmtpMailer(std::move(options));
        m->setEvents(log_.events());
        m->setAddressSeparator(";");
        m->setSmtpHost(smtp_->server(variant));
        m->setFrom("exports@example.org");
        m->setRecipient("ana@example.org");
        m->setSubject("Orders");
        m->setMessage("See the attached file.\n");
        m->setEncoding(kMailEncodingMime);
        m->setPriority(kMailPriorityNormal);
        return m;
    }
    static DeliveredMail onlyMail(const std::string& variant) {
        const auto bases = smtp_->delivered(variant);
        if (bases.size() != 1) throw std::runtime_error(std::to_string(bases.size()) + " messages in " + variant);
        return LoopbackSmtp::read(bases.front());
    }
    // Nothing was delivered anywhere and the failure was reported once, as
    // raised.
    void expectNothingSent(const Error& e) {
        for (const char* v : {"plain", "auth-plain", "auth-login", "starttls"})
            EXPECT_TRUE(smtp_->delivered(v).empty()) << v;
        EXPECT_EQ(log_.successes, 0);
        EXPECT_THAT(log_.failed, ::testing::ElementsAre(e.description()));
    }

    static TempDir* dir_;
    static LoopbackSmtp* smtp_;
    EventLog log_;
};

TempDir* SmtpMailerTest::dir_ = nullptr;
LoopbackSmtp* SmtpMailerTest::smtp_ = nullptr;

TEST_F(SmtpMailerTest, MimeMailArrivesWithItsEnvelopeHeadersBodyAndAttachment) {
    const std::string file = dir_->file("Umsätze März.csv");
    writeFile(file, binaryFile());
    const std::string subject = "Bestellübersicht für März — " + std::string(60, 'x') + " und alle Lieferungen";
    const std::string body = "First line\n.a line that starts with a dot\n" + std::string(120, 'x') +
                             " ünïcödé\ntrailing blanks   \nlast";
    auto m = mailer("plain");
    m->setSmtpHost(" " + smtp_->server("plain") + " ");
    m->setFromDisplayName("Export Robot");
    m->setRecipient("ana@example.org; Bö Lì <bo@example.org>");
    m->setCcRecipient("\"Doe, Jo\" <jo@example.org>");
    m->setBccRecipient(" hidden1@example.org, hidden2@example.org ;");
    m->setSubject(subject);
    m->setMessage(body);
    m->setAttachment("  " + file + " ");
    m->setPriority(kMailPriorityHigh);
    m->setReceipt(true);
    m->send();

    EXPECT_EQ(m->smtpHost(), smtp_->server("plain"));
    const DeliveredMail mail = onlyMail("plain");
    EXPECT_EQ(mail["envelope-from"], "exports@example.org");
    EXPECT_EQ(mail["envelope-to"],
              "ana@example.org bo@example.org jo@example.org hidden1@example.org hidden2@example.org");
    EXPECT_EQ(mail["header From"], "Export Robot <exports@example.org>");
    EXPECT_EQ(mail["header To"], "ana@example.org, Bö Lì <bo@example.org>");
    EXPECT_EQ(mail["header Cc"], "\"Doe, Jo\" <jo@example.org>");
    EXPECT_EQ(mail["header Bcc"], "<none>");
    EXPECT_THAT(mail.raw, Not(HasSubstr("hidden")));
    EXPECT_EQ(mail["header Subject"], subject);
    EXPECT_EQ(mail["header X-Priority"], "1 (Highest)");
    EXPECT_EQ(mail["header Importance"], "high");
    EXPECT_EQ(mail["header Disposition-Notification-To"], "Export Robot <exports@example.org>");
    EXPECT_EQ(mail["header MIME-Version"], "1.0");
    EXPECT_THAT(mail["header Message-ID"], AllOf(StartsWith("<"), HasSubstr("@example.org>")));
    EXPECT_EQ(mail["date-ok"], "1");
    EXPECT_THAT(mail["header Content-Type"], StartsWith("multipart/mixed"));
    EXPECT_EQ(mail["body-type"], "text/plain");
    EXPECT_EQ(mail["body"], body);
    EXPECT_EQ(mail["attachment-name"], "Umsätze März.csv");
    EXPECT_EQ(mail["attachment-type"], "text/csv");
    EXPECT_EQ(mail["attachment-hex"], hexOf(binaryFile()));
    EXPECT_EQ(mail["defects"], "");
    EXPECT_LE(std::stoi(mail["longest-line"]), 78);

    ASSERT_FALSE(log_.progress.empty());
    EXPECT_TRUE(std::is_sorted(log_.progress.begin(), log_.progress.end()));
    EXPECT_EQ(log_.progress.back(), 100);
    EXPECT_EQ(log_.successes, 1);
    EXPECT_TRUE(log_.failed.empty());
    EXPECT_THAT(log_.status, Contains(StartsWith("250 2.0.0 Ok: queued")));
}

TEST_F(SmtpMailerTest, UuAttachmentFollowsTheBodyInPlainOrQuotedPrintableText) {
    const std::string file = dir_->file("orders.csv");
    writeFile(file, binaryFile());
    for (const std::string body : {"See the file below.\n", "Siehe die Datei unten — Grüße.\n"}) {
        SCOPED_TRACE(body);
        smtp_->clear();
        auto m = mailer("plain");
        m->setMessage(body);
        m->setAttachment(file);
        m->setEncoding(kMailEncodingUu);
        m->setPriority(kMailPriorityLow);
        m->send();
        const DeliveredMail mail = onlyMail("plain");
        EXPECT_EQ(mail["attachment-hex"], "<none>");
        EXPECT_EQ(mail["body-before-uu"], body);
        EXPECT_EQ(mail["uu-name"], "orders.csv");
        EXPECT_EQ(mail["uu-hex"], hexOf(binaryFile()));
        EXPECT_EQ(mail["header Content-Transfer-Encoding"], body[0] == 'S' && body[1] == 'e' ? "7bit" : "quoted-printable");
        EXPECT_EQ(mail["header X-Priority"], "5 (Lowest)");
        EXPECT_EQ(mail["header Importance"], "low");
        EXPECT_EQ(mail["header Disposition-Notification-To"], "<none>");
        EXPECT_EQ(mail["defects"], "");
        EXPECT_LE(std::stoi(mail["longest-line"]), 78);
    }
}

TEST_F(SmtpMailerTest, HtmlBodyWithoutAttachmentIsOnePart) {
    auto m = mailer("plain");
    m->setFromDisplayName("exports@example.org");  // the control passes the address twice
    m->setMessage("<p>Bonjour, <b>ça va</b>?</p>");
    m->setAsHtml(true);
    m->send();
    const DeliveredMail mail = onlyMail("plain");
    EXPECT_EQ(mail["header From"], "exports@example.org");
    EXPECT_THAT(mail["header Content-Type"], StartsWith("text/html"));
    EXPECT_EQ(mail["body"], "<p>Bonjour, <b>ça va</b>?</p>\n");
    EXPECT_EQ(mail["header X-Priority"], "3 (Normal)");
    EXPECT_EQ(mail["header Importance"], "normal");
}

TEST_F(SmtpMailerTest, AuthenticatesWithPlainAndLoginOnLoopback) {
    for (const std::string variant : {"auth-plain", "auth-login"}) {
        SCOPED_TRACE(variant);
        auto m = mailer(variant);
        m->setUseAuthentication(true);
        m->setUserName(LoopbackSmtp::kUser);
        m->setPassword(LoopbackSmtp::kPassword);
        m->send();
        const DeliveredMail mail = onlyMail(variant);
        EXPECT_EQ(mail["authenticated"], "1");
        EXPECT_EQ(smtp_->authLog(variant), (variant == "auth-plain" ? "PLAIN" : "LOGIN") + std::string(" False True\n"));

        smtp_->clear();
        m->setPassword("wrong");
        const Error e = errorOf([&] { m->send(); });
        EXPECT_EQ(e.number(), mailerr::kAuthenticationFailed);
        EXPECT_THAT(e.description(), AllOf(HasSubstr("\"mailer\""), HasSubstr("535")));
        EXPECT_THAT(e.description(), Not(HasSubstr("wrong")));
        EXPECT_TRUE(smtp_->delivered(variant).empty());
        log_ = {};
    }
}

TEST_F(SmtpMailerTest, StartTlsCarriesTheLoginAndTheCertificateIsChecked) {
    // The throwaway certificate is trusted only when named.
    auto untrusted = mailer("starttls");
    untrusted->setUseAuthentication(true);
    untrusted->setUserName(LoopbackSmtp::kUser);
    untrusted->setPassword(LoopbackSmtp::kPassword);
    const Error e = errorOf([&] { untrusted->send(); });
    EXPECT_EQ(e.number(), mailerr::kTlsFailed) << e.description();
    expectNothingSent(e);
    EXPECT_EQ(smtp_->authLog("starttls"), "");

    for (bool byEnvironment : {false, true}) {
        SCOPED_TRACE(byEnvironment);
        smtp_->clear();
        SmtpOptions options;
        if (byEnvironment) ::setenv("VARNELO_SMTP_CAFILE", smtp_->certificate().c_str(), 1);
        else options.caFile = smtp_->certificate();
        auto m = mailer("starttls", options);
        m->setUseAuthentication(true);
        m->setUserName(LoopbackSmtp::kUser);
        m->setPassword(LoopbackSmtp::kPassword);
        m->send();
        ::unsetenv("VARNELO_SMTP_CAFILE");
        const DeliveredMail mail = onlyMail("starttls");
        EXPECT_EQ(mail["tls"], "1");
        EXPECT_EQ(mail["authenticated"], "1");
        EXPECT_THAT(smtp_->authLog("starttls"), AllOf(HasSubstr(" True True"), Not(HasSubstr("False"))));
    }
}

TEST_F(SmtpMailerTest, PasswordNeverGoesInClearTextToAServerWithoutTls) {
    // With loopback treated as any other address, the plain-text AUTH the
    // server offers is not used.
    SmtpOptions options;
    options.trustLoopback = false;
    auto m = mailer("auth-plain", options);
    m->setUseAuthentication(true);
    m->setUserName(LoopbackSmtp::kUser);
    m->setPassword(LoopbackSmtp::kPassword);
    const Error e = errorOf([&] { m->send(); });
    EXPECT_EQ(e.number(), mailerr::kTlsUnavailable);
    EXPECT_THAT(e.description(), HasSubstr("offers no TLS"));
    expectNothingSent(e);
    EXPECT_EQ(smtp_->authLog("auth-plain"), "");
}

TEST_F(SmtpMailerTest, RefusedSenderOrRecipientFailsWithTheServersReply) {
    struct Case {
        const char* what;
        void (*set)(Mailer&);
        const char* reply;
    };
    const Case cases[] = {
        {"sender", [](Mailer& m) { m.setFrom("refused@example.org"); }, "550 5.1.0 <refused@example.org>"},
        {"one Bcc recipient",
         [](Mailer& m) { m.setBccRecipient("ok@example.org; refused@example.org"); },
         "550 5.1.1 <refused@example.org>: Recipient address rejected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_ = {};
        auto m = mailer("plain");
        c.set(*m);
        const Error e = errorOf([&] { m->send(); });
        EXPECT_EQ(e.number(), mailerr::kRefused);
        EXPECT_THAT(e.description(), HasSubstr(c.reply));
        expectNothingSent(e);
    }
}

TEST_F(SmtpMailerTest, UnreachableOrSilentServerFails) {
    const QuietSocket closed(false);
    auto m = mailer("plain");
    m->setSmtpHost("127.0.0.1:" + std::to_string(closed.port()));
    Error e = errorOf([&] { m->send(); });
    EXPECT_EQ(e.number(), mailerr::kServerUnreachable);
    EXPECT_THAT(e.description(), HasSubstr("127.0.0.1:" + std::to_string(closed.port())));
    expectNothingSent(e);

    // Silent from the start, or from the sender's address on.
    const QuietSocket silent(true);
    SmtpOptions options;
    options.timeout = std::chrono::seconds(1);
    for (bool greets : {false, true}) {
        SCOPED_TRACE(greets);
        log_ = {};
        m = mailer("plain", options);
        if (greets) m->setFrom("stalled@example.org");
        else m->setSmtpHost("127.0.0.1:" + std::to_string(silent.port()));
        const auto start = std::chrono::steady_clock::now();
        e = errorOf([&] { m->send(); });
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(e.number(), mailerr::kTimedOut);
        EXPECT_THAT(e.description(), HasSubstr("stopped answering"));
        expectNothingSent(e);
    }
}

TEST_F(SmtpMailerTest, BadValuesAreRefusedBeforeAnyConnection) {
    // Aimed at a port where a connection would be refused: each error below
    // must come first.
    const QuietSocket closed(false);
    const std::string missing = dir_->file("no such export.csv");
    struct Case {
        std::function<void(Mailer&)> set;
        int32_t number;
        std::string names;
    };
    const std::vector<Case> cases = {
        {[](Mailer& m) { m.setSubject("Orders\r\nBcc: victim@example.org"); }, err::kInvalidPropertyValue, "subject"},
        {[](Mailer& m) { m.setRecipient("ana@example.org\nBcc: victim@example.org"); }, err::kInvalidPropertyValue, "To"},
        {[](Mailer& m) { m.setBccRecipient("victim@example.org\r"); }, err::kInvalidPropertyValue, "Bcc"},
        {[](Mailer& m) { m.setFromDisplayName("Robot\r\nX-Evil: 1"); }, err::kInvalidPropertyValue, "sender"},
        {[](Mailer& m) { m.setRecipient("not an address"); }, err::kInvalidPropertyValue, "\"not an address\""},
        {[](Mailer& m) { m.setRecipient(" ; "); }, err::kInvalidPropertyValue, "no recipient"},
        {[](Mailer& m) { m.setUseAuthentication(true); }, err::kInvalidPropertyValue, "user name is empty"},
        {[&](Mailer& m) { m.setAttachment(missing); }, err::kFileNotFound, missing},
        {[&](Mailer& m) { m.setAttachment(dir_->path().string()); }, err::kPathFileAccess, "not a regular file"},
        {[](Mailer& m) { m.setSmtpHost("relay.example.org/evil"); }, err::kInvalidPropertyValue, "relay.example.org/evil"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.names);
        log_ = {};
        auto m = mailer("plain");
        m->setSmtpHost("127.0.0.1:" + std::to_string(closed.port()));
        c.set(*m);
        const Error e = errorOf([&] { m->send(); });
        EXPECT_EQ(e.number(), c.number) << e.description();
        EXPECT_THAT(e.description(), HasSubstr(c.names));
        EXPECT_TRUE(log_.status.empty());  // not even "Connecting to ..."
        expectNothingSent(e);
    }

    auto m = makeSmtpMailer();
    EXPECT_EQ(errorOf([&] { m->setPriority(2); }).number(), err::kInvalidPropertyValue);
    EXPECT_EQ(errorOf([&] { m->setEncoding(2); }).number(), err::kInvalidPropertyValue);
}

}  // namespace
