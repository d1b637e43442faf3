// Mailer: sends one e-mail that carries an exported file.
//
// The control owns one Mailer at a time and gets a new one each time it is
// shown. To send, it sets every value below, one call each, then calls
// send() once and reads smtpHost() back for its server field:
//
//     auto mail = varnelo::makeSmtpMailer();
//     mail->setEvents({.progress = [](int32_t pct) { ... }});
//     mail->setAddressSeparator(";");
//     mail->setSmtpHost("relay.example.org:587");
//     mail->setFrom("exports@example.org");
//     mail->setRecipient("ana@example.org; Bo Li <bo@example.org>");
//     mail->setSubject("Orders");
//     mail->setMessage("Attached: this week's orders.");
//     mail->setAttachment("/srv/out/orders.csv");
//     mail->setEncoding(varnelo::kMailEncodingMime);
//     mail->setPriority(varnelo::kMailPriorityNormal);
//     mail->send();                        // throws varnelo::Error on failure
//
// Values:
//  - Address fields (from, to, cc, bcc) hold one address, or several joined
//    by the address separator or ","; each is "box@host" or "Name <box@host>"
//    ("\"Doe, Jo\" <jo@host>" when the name holds a separator). Blanks
//    around each are dropped, empty entries are skipped. Every To, Cc and Bcc
//    address receives the mail; Bcc addresses never appear in its headers.
//  - Text values may hold any UTF-8 text; the body is the message text as
//    given, nothing added. A CR or LF in an address, a name or the subject is
//    refused by send() before anything goes out (it would forge headers).
//  - The attachment is one file path (blanks around it are dropped; empty
//    means no attachment). send() reads it before it connects: a file that
//    is missing or unreadable is an error naming it, and no mail is sent.
//  - Setters only store; the values are checked when send() runs, except the
//    encoding and priority codes, which are refused at once (error 380).
//
// send() runs the whole exchange in the calling thread and returns once the
// server has accepted the message for every recipient. Anything less is an
// Error: its number is one of mailerr (below) or a file error for the
// attachment (53 not found, 70 permission denied, 75 not a readable file),
// its source the mailer's name, and its description says what failed, with
// the server's own reply when there was one. A send may be retried with the
// same values.
//
// Events are plain callbacks run on the sending thread while send() runs;
// any of them may be empty. An exception thrown by a callback ends the
// exchange (the mail is not sent, unless it was already accepted) and
// leaves send() as it is.
//
// Threads: an instance belongs to one thread at a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "varnelo/error.h"
#include "varnelo/export_macros.h"

namespace varnelo {

// Encoding codes: how the body and the attachment travel.
constexpr int32_t kMailEncodingMime = 0;  // multipart/mixed, file in base64
constexpr int32_t kMailEncodingUu = 1;    // file uuencoded after the body

// Priority codes.
constexpr int32_t kMailPriorityHigh = 1;
constexpr int32_t kMailPriorityNormal = 3;
constexpr int32_t kMailPriorityLow = 5;

// Error numbers raised by send(). Beside them: 380 (invalid property value)
// from setEncoding and setPriority for a code out of range, and from send()
// for a value it refuses before connecting (a CR or LF where a header would
// carry it, an address that cannot be one, no server, no recipient, a login
// without a user name); and the attachment's file errors.
namespace mailerr {
constexpr int32_t kSendFailed = err::vbObjectError + 100;         // any other failure
constexpr int32_t kServerUnreachable = err::vbObjectError + 101;  // name, connection
constexpr int32_t kRefused = err::vbObjectError + 102;            // sender, recipient or message refused
constexpr int32_t kAuthenticationFailed = err::vbObjectError + 103;
constexpr int32_t kTlsUnavailable = err::vbObjectError + 104;     // no TLS where a password must go
constexpr int32_t kTlsFailed = err::vbObjectError + 105;          // handshake, certificate
constexpr int32_t kTimedOut = err::vbObjectError + 106;           // the server stopped answering
}  // namespace mailerr

// What a Mailer reports while it sends. The names follow the control's
// handlers (poSendMail_Progress, ..._SendSuccesful with its spelling).
struct MailerEvents {
    // Share of the message handed to the server, 0..100, each value once.
    std::function<void(int32_t percentComplete)> progress;
    // The send failed; raised just before send() throws, with the same text.
    std::function<void(const std::string& explanation)> sendFailed;
    // The server accepted the message for every recipient.
    std::function<void()> sendSuccesful;
    // Steps and server replies, one line each ("250 2.0.0 Ok: queued").
    std::function<void(const std::string& status)> status;
};

class VARNELO_EXPORT Mailer {
public:
    virtual ~Mailer() = default;

    virtual void setEvents(MailerEvents events) = 0;

    // Joins several addresses in one address field; "," always does too.
    virtual void setAddressSeparator(const std::string& separator) = 0;
    // "host", "host:port" (port 25 by default), "[v6addr]:port", or
    // "smtps://host[:port]" for TLS from the first byte (port 465).
    virtual void setSmtpHost(const std::string& server) = 0;
    // The server as it is used: the text set, blanks trimmed.
    virtual std::string smtpHost() const = 0;
    virtual void setFrom(const std::string& address) = 0;
    // Shown with the From address; ignored when empty or the same text as
    // the address itself.
    virtual void setFromDisplayName(const std::string& name) = 0;
    virtual void setRecipient(const std::string& addresses) = 0;
    virtual void setCcRecipient(const std::string& addresses) = 0;
    virtual void setBccRecipient(const std::string& addresses) = 0;
    virtual void setSubject(const std::string& subject) = 0;
    virtual void setMessage(const std::string& body) = 0;
    virtual void setAttachment(const std::string& path) = 0;
    // The body is HTML (text/html) rather than plain text.
    virtual void setAsHtml(bool html) = 0;
    // kMailEncodingMime or kMailEncodingUu; anything else: error 380.
    virtual void setEncoding(int32_t code) = 0;
    // kMailPriorityHigh, ...Normal or ...Low; anything else: error 380.
    virtual void setPriority(int32_t code) = 0;
    // Ask for a read receipt to the sender's address.
    virtual void setReceipt(bool receipt) = 0;
    // Log in with the user name and password. The password is only sent
    // over TLS (or to a loopback address).
    virtual void setUseAuthentication(bool authenticate) = 0;
    virtual void setUserName(const std::string& user) = 0;
    virtual void setPassword(const std::string& password) = 0;

    // Sends one message built from the values above. See the top of this
    // file for what it guarantees and raises.
    virtual void send() = 0;
};

// Options of the SMTP mailer; the defaults suit a host on an ordinary
// network with public certificates.
struct SmtpOptions {
    // PEM file of the certificate authorities to trust instead of the
    // system's store, for a relay with a certificate of its own making.
    // Empty: the environment variable VARNELO_SMTP_CAFILE when it is set,
    // else the system's store.
    std::string caFile;
    // How long the server may stay silent (connecting, answering a command,
    // taking data) before the send fails with mailerr::kTimedOut.
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
    // A password may go in clear text to a loopback address (a local relay
    // that offers no TLS). False demands TLS there too.
    bool trustLoopback = true;
};

// The SMTP mailer (libcurl): STARTTLS whenever the server offers it, and
// required when a password is to be sent; the server's certificate checked.
VARNELO_EXPORT std::unique_ptr<Mailer> makeSmtpMailer(SmtpOptions options = {});

}  // namespace varnelo
