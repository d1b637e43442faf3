// The mail's pieces on their own: address lists, the server text and its TLS demand, header and QP line lengths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "mail/mail_message.h"
#include "mail/smtp_mailer.h"
#include "support/test_support.h"

namespace {

using namespace varnelo;
using varnelo::testing_support::errorOf;
using namespace ::testing;

// Entries split on the separator and "," outside quotes and brackets; no mailbox is refused naming the field.
TEST(MailAddresses, SplitOutsideQuotesAndRefuseWhatIsNoMailbox) {
    std::string got;
    const char* text = "\"Doe, Jo| Jr\" <jo@x.org>| \"Say \\\"hi\\\"\" <q@x.org>,, b@x.org |";
    for (const auto& a : mail::parseAddressList(text, "|", "To")) got += "[" + a.name + "/" + a.mailbox + "]";
    EXPECT_EQ(got, "[Doe, Jo| Jr/jo@x.org][Say \"hi\"/q@x.org][/b@x.org]");
    // Without a separator ";" is part of the mailbox, and no mailbox holds it.
    for (const char* bad : {"a@x.org;b@x.org", "two words@x.org", "<>", "Name <a b@x.org>", "a@x.org\r\nBcc: v@x.org"}) {
        const Error e = errorOf([&] { mail::parseAddressList(bad, "", "Cc"); });
        EXPECT_EQ(e.number(), err::kInvalidPropertyValue) << bad;
        EXPECT_THAT(e.description(), HasSubstr("Cc")) << bad;
    }
}

// TLS is demanded for smtps and for a login to anything but a trusted loopback address.
TEST(SmtpRoute, ServerTextGivesTheUrlAndWhetherTlsIsDemanded) {
    const struct { const char* server; bool authenticate, trustLoopback; std::string route; } cases[] = {
        {"mail.example.org", false, true, "smtp://mail.example.org:25"},
        {" mail.example.org:587 ", true, true, "smtp://mail.example.org:587 TLS"},
        {"SMTPS://mail.example.org", false, true, "smtps://mail.example.org:465 TLS"},
        {"smtp://localhost:2525/", true, true, "smtp://localhost:2525"},
        {"127.3.4.5:26", true, true, "smtp://127.3.4.5:26"},
        {"127.0.0.1", true, false, "smtp://127.0.0.1:25 TLS"},
        {"[::1]:2525", true, true, "smtp://[::1]:2525"},
        {"2001:db8::25", true, true, "smtp://[2001:db8::25]:25 TLS"},
        {"128.0.0.1", true, true, "smtp://128.0.0.1:25 TLS"},
    };
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

}  // namespace
