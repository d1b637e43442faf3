// The mail's pieces on their own: address fields, the server text and its
// TLS demand, header folding and quoted-printable line lengths. Whole
// messages are read back by a real parser in smtp_mailer_test.cpp.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "mail/mail_message.h"
#include "mail/smtp_mailer.h"
#include "support/test_support.h"

namespace {

using namespace varnelo;
using varnelo::testing_support::errorOf;
using ::testing::HasSubstr;

std::string show(const std::vector<mail::Address>& list) {
    std::string s;
    for (const auto& a : list) s += "[" + a.name + "|" + a.mailbox + "]";
    return s;
}

TEST(MailAddresses, SplitOnTheSeparatorAndCommaOutsideQuotesAndBrackets) {
    const struct {
        const char* text;
        const char* separator;
        const char* parsed;
    } cases[] = {
        {" a@x.org ;b@x.org,  c@x.org ", ";", "[|a@x.org][|b@x.org][|c@x.org]"},
        {";; ,", ";", ""},
        {"\"Doe, Jo; Jr\" <jo@x.org>; Bö <bo@x.org>", ";", "[Doe, Jo; Jr|jo@x.org][Bö|bo@x.org]"},
        {"\"Say \\\"hi\\\"\" <q@x.org>", ";", "[Say \"hi\"|q@x.org]"},
        {"a@x.org;b@x.org", "", "[|a@x.org;b@x.org]"},  // no separator: ";" is refused below
        {"a@x.org | b@x.org", "|", "[|a@x.org][|b@x.org]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        if (std::string(c.separator).empty()) {
            EXPECT_EQ(errorOf([&] { mail::parseAddressList(c.text, c.separator, "To"); }).number(),
                      err::kInvalidPropertyValue);
            continue;
        }
        EXPECT_EQ(show(mail::parseAddressList(c.text, c.separator, "To")), c.parsed);
    }
    for (const char* bad : {"two words@x.org", "<>", "Name <a b@x.org>", "a@x.org\r\nBcc: v@x.org"}) {
        const Error e = errorOf([&] { mail::parseAddressList(bad, ";", "Cc"); });
        EXPECT_EQ(e.number(), err::kInvalidPropertyValue) << bad;
        EXPECT_THAT(e.description(), HasSubstr("Cc")) << bad;
    }
}

TEST(SmtpRoute, ServerTextGivesTheUrlAndWhetherTlsIsDemanded) {
    const struct {
        const char* server;
        bool authenticate, trustLoopback;
        const char* url;
        bool loopback, requireTls;
    } cases[] = {
        {"mail.example.org", false, true, "smtp://mail.example.org:25", false, false},
        {" mail.example.org:587 ", true, true, "smtp://mail.example.org:587", false, true},
        {"SMTPS://mail.example.org", false, true, "smtps://mail.example.org:465", false, true},
        {"smtp://localhost:2525/", true, true, "smtp://localhost:2525", true, false},
        {"127.3.4.5:26", true, true, "smtp://127.3.4.5:26", true, false},
        {"127.0.0.1", true, false, "smtp://127.0.0.1:25", true, true},
        {"[::1]:2525", true, true, "smtp://[::1]:2525", true, false},
        {"2001:db8::25", true, true, "smtp://[2001:db8::25]:25", false, true},
        {"128.0.0.1", true, true, "smtp://128.0.0.1:25", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.server);
        const SmtpRoute r = smtpRoute(c.server, c.authenticate, c.trustLoopback);
        EXPECT_EQ(r.url, c.url);
        EXPECT_EQ(r.loopback, c.loopback);
        EXPECT_EQ(r.requireTls, c.requireTls);
    }
    for (const char* bad : {"", "   ", "host:", "host:0", "host:65536", "host:25x", "user@host", "host/path",
                            "smtp://", "[::1", "[nonsense]:25", "a b"}) {
        EXPECT_EQ(errorOf([&] { smtpRoute(bad, false, true); }).number(), err::kInvalidPropertyValue) << bad;
    }
}

// Lines of a CR LF text.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

TEST(MailText, HeadersFoldWithin78AndQuotedPrintableWithin76) {
    std::string words;
    for (int i = 0; i < 40; ++i) words += "word" + std::to_string(i) + " ";
    for (const std::string& subject : {words, std::string(300, 'y'), "Grüße " + words, std::string(100, '\xc3')}) {
        const std::string line = mail::headerLine("Subject", mail::encodeHeaderText(subject));
        ASSERT_GT(linesOf(line).size(), 1u);
        for (const auto& l : linesOf(line)) EXPECT_LE(l.size(), 78u) << l;
    }
    // Unfolding (removing each CR LF before a blank) gives the text back.
    std::string unfolded = mail::headerLine("Subject", mail::encodeHeaderText(words));
    for (size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;) unfolded.erase(at, 2);
    EXPECT_EQ(unfolded, "Subject: " + words.substr(0, words.size() - 1) + "\r\n");

    const std::string qp = mail::quotedPrintable(std::string(200, '=') + "\r\n" + std::string(90, 'a') + " \r\nend\t");
    for (const auto& l : linesOf(qp + "\r\n")) EXPECT_LE(l.size(), 76u) << l;
    EXPECT_THAT(qp, HasSubstr("a=20\r\nend=09"));
}

}  // namespace
