// SmtpMailer: the Mailer that speaks SMTP through libcurl.
//
// The message is built here (mail/mail_message.h) and handed to curl as the
// upload of an SMTP transfer, rather than through curl's MIME API: the
// headers must be exactly ours (priority, receipt, encoded words, no Bcc),
// the UU encoding has no place in curl's MIME, and a message that is a pure
// function of the settings is tested without a server. The price is memory:
// the encoded attachment is held whole while it is sent (about 4/3 of the
// file).
//
// Transport decisions (route below):
//  - "smtps://" means TLS from the first byte; otherwise STARTTLS is used
//    whenever the server offers it, and demanded when a password is to be
//    sent to anything but a loopback address (or to anything at all when
//    SmtpOptions::trustLoopback is false). When demanded and not offered,
//    curl stops before AUTH and send() raises mailerr::kTlsUnavailable.
//  - The certificate is checked against the system's store, or the CA file
//    of the options, or VARNELO_SMTP_CAFILE.
//  - Only smtp and smtps URLs are ever followed.
#pragma once

#include <string>
#include <string_view>

#include "varnelo/mailer.h"

namespace varnelo {

// Where and how to connect, from the server text.
struct SmtpRoute {
    std::string host;   // name or address, without brackets
    int port = 25;
    bool implicitTls = false;
    bool loopback = false;  // localhost, 127.0.0.0/8, ::1
    bool requireTls = false;
    std::string url;    // smtp://host:port or smtps://host:port
};

// Throws Error 380 for a text that is not "host", "host:port",
// "[v6]:port", a bare IPv6 address, optionally after "smtp://" or "smtps://".
SmtpRoute smtpRoute(std::string_view server, bool authenticate, bool trustLoopback);

class SmtpMailer : public Mailer {
public:
    explicit SmtpMailer(SmtpOptions options = {});

    void setEvents(MailerEvents events) override { events_ = std::move(events); }
    void setAddressSeparator(const std::string& separator) override { separator_ = separator; }
    void setSmtpHost(const std::string& server) override { server_ = server; }
    std::string smtpHost() const override;
    void setFrom(const std::string& address) override { from_ = address; }
    void setFromDisplayName(const std::string& name) override { fromName_ = name; }
    void setRecipient(const std::string& addresses) override { to_ = addresses; }
    void setCcRecipient(const std::string& addresses) override { cc_ = addresses; }
    void setBccRecipient(const std::string& addresses) override { bcc_ = addresses; }
    void setSubject(const std::string& subject) override { subject_ = subject; }
    void setMessage(const std::string& body) override { body_ = body; }
    void setAttachment(const std::string& path) override { attachment_ = path; }
    void setAsHtml(bool html) override { html_ = html; }
    void setEncoding(int32_t code) override;
    void setPriority(int32_t code) override;
    void setReceipt(bool receipt) override { receipt_ = receipt; }
    void setUseAuthentication(bool authenticate) override { authenticate_ = authenticate; }
    void setUserName(const std::string& user) override { user_ = user; }
    void setPassword(const std::string& password) override { password_ = password; }

    void send() override;

private:
    void sendOnce(bool& handlerFailed);

    SmtpOptions options_;
    MailerEvents events_;
    std::string separator_ = ";";
    std::string server_, from_, fromName_, to_, cc_, bcc_, subject_, body_, attachment_;
    bool html_ = false;
    int32_t encoding_ = kMailEncodingMime;
    int32_t priority_ = kMailPriorityNormal;
    bool receipt_ = false;
    bool authenticate_ = false;
    std::string user_, password_;
};

}  // namespace varnelo
