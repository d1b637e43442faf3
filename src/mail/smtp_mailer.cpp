// SmtpMailer: settings checked, the message built, one curl SMTP transfer.
#include "mail/smtp_mailer.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>
#include <vector>

#include "mail/mail_message.h"

namespace varnelo {

namespace {

constexpr const char* kSource = "SmtpMailer";

[[noreturn]] void refuse(const std::string& why) { throw Error(err::kInvalidPropertyValue, kSource, why); }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

bool isLoopback(const std::string& host) {
    std::string lower = host;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "localhost" || lower == "localhost.") return true;
    in_addr v4{};
    if (::inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

// The attachment's bytes, read before any connection is made.
std::string readAttachment(const std::string& path) {
    const auto fail = [&](int32_t number, const std::string& why, int sys) {
        throw Error(number, kSource, "The attachment \"" + path + "\" cannot be read: " + why + ".", sys);
    };
    const auto systemFail = [&](int e) {
        const int32_t number = (e == ENOENT || e == ENOTDIR) ? err::kFileNotFound
                               : (e == EACCES || e == EPERM) ? err::kPermissionDenied
                                                             : err::kPathFileAccess;
        fail(number, std::system_category().message(e), e);
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) systemFail(errno);
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    struct stat st {};
    if (::fstat(fd, &st) != 0) systemFail(errno);
    if (!S_ISREG(st.st_mode)) fail(err::kPathFileAccess, "it is not a regular file", 0);
    std::string bytes;
    bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            fail(err::kDeviceIoError, std::system_category().message(e), e);
        }
        bytes.append(buf, static_cast<size_t>(n));
    }
    return bytes;
}

std::string randomHex(size_t digits) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device device;
    std::string out;
    while (out.size() < digits) {
        uint32_t v = device();
        for (int i = 0; i < 8 && out.size() < digits; ++i, v >>= 4) out += kHex[v & 15];
    }
    return out;
}

std::string nowAsMailDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return mail::mailDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_wday, local.tm_hour,
                          local.tm_min, local.tm_sec, local.tm_gmtoff);
}

std::string localHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || !name[0]) return "localhost";
    return name;
}

// What one transfer shares with curl's callbacks.
struct Exchange {
    const std::string* message = nullptr;
    size_t handedOver = 0;
    const MailerEvents* events = nullptr;
    int32_t percent = -1;
    std::string pending;                  // a reply line not finished yet
    std::vector<std::string> replyLines;  // of the reply being read
    std::string refusal;                  // the last 4xx or 5xx reply
    std::exception_ptr failure;           // thrown by an event handler

    void progress(int32_t value) {
        if (value <= percent || failure) return;
        percent = value;
        if (!events->progress) return;
        try {
            events->progress(value);
        } catch (...) {
            failure = std::current_exception();
        }
    }

    void status(const std::string& text) {
        if (!events->status || failure) return;
        try {
            events->status(text);
        } catch (...) {
            failure = std::current_exception();
        }
    }

    void serverLine(std::string line) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) return;
        status(line);
        const bool more = line.size() > 3 && line[3] == '-';
        replyLines.push_back(std::move(line));
        if (more) return;
        std::string reply;
        for (const std::string& l : replyLines) reply += (reply.empty() ? "" : " ") + l;
        replyLines.clear();
        // curl says QUIT after a failure; the refusal is what explains it.
        if (reply[0] == '4' || reply[0] == '5') refusal = std::move(reply);
    }
};

size_t readMessage(char* buffer, size_t size, size_t count, void* data) {
    auto* x = static_cast<Exchange*>(data);
    if (x->failure) return CURL_READFUNC_ABORT;
    const size_t take = std::min(size * count, x->message->size() - x->handedOver);
    std::memcpy(buffer, x->message->data() + x->handedOver, take);
    x->handedOver += take;
    return take;
}

int onTransferInfo(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* x = static_cast<Exchange*>(data);
    if (!x->message->empty() && uploaded > 0) {
        const auto share = static_cast<double>(uploaded) / static_cast<double>(x->message->size());
        x->progress(static_cast<int32_t>(std::min(100.0, share * 100.0)));
    }
    return x->failure ? 1 : 0;
}

// Server replies arrive as incoming "headers"; what we send (the login
// included) is never looked at.
int onDebug(CURL*, curl_infotype type, char* text, size_t size, void* data) {
    if (type != CURLINFO_HEADER_IN) return 0;
    auto* x = static_cast<Exchange*>(data);
    x->pending.append(text, size);
    for (size_t nl; (nl = x->pending.find('\n')) != std::string::npos;) {
        x->serverLine(x->pending.substr(0, nl));
        x->pending.erase(0, nl + 1);
    }
    return 0;
}

Error transferError(CURLcode rc, const char* curlText, const Exchange& x, const SmtpRoute& route,
                    const std::string& user, long timeoutSeconds) {
    const std::string where = route.host + ":" + std::to_string(route.port);
    const std::string detail = curlText && *curlText ? curlText : curl_easy_strerror(rc);
    const std::string reply = x.refusal.empty() ? "" : " The server replied: \"" + x.refusal + "\".";
    switch (rc) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return Error(mailerr::kServerUnreachable, kSource,
                         "The SMTP server \"" + route.host + "\" cannot be found: " + detail + ".");
        case CURLE_COULDNT_CONNECT:
            return Error(mailerr::kServerUnreachable, kSource,
                         "Cannot connect to the SMTP server " + where + ": " + detail + ".");
        case CURLE_OPERATION_TIMEDOUT:
            return Error(mailerr::kTimedOut, kSource,
                         "The SMTP server " + where + " stopped answering (nothing within " +
                             std::to_string(timeoutSeconds) + " s): " + detail + ".");
        case CURLE_USE_SSL_FAILED:
            return Error(mailerr::kTlsUnavailable, kSource,
                         "The SMTP server " + where +
                             " offers no TLS (STARTTLS), and a password is only sent over an encrypted "
                             "connection; nothing was sent." + reply);
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
            return Error(mailerr::kTlsFailed, kSource,
                         "The TLS connection to the SMTP server " + where + " failed: " + detail + ".");
        case CURLE_LOGIN_DENIED:
            return Error(mailerr::kAuthenticationFailed, kSource,
                         "The SMTP server " + where + " refused the login of \"" + user + "\": " + detail + "." +
                             reply);
        default:
            break;
    }
    if (!x.refusal.empty())
        return Error(mailerr::kRefused, kSource,
                     "The SMTP server " + where + " refused the mail (" + detail + ")." + reply);
    return Error(mailerr::kSendFailed, kSource, "The mail could not be sent through " + where + ": " + detail + ".");
}

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
using CurlList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

void append(CurlList& list, const std::string& item) {
    curl_slist* grown = curl_slist_append(list.get(), item.c_str());
    if (!grown) throw Error::standard(err::kOutOfMemory, kSource);
    (void)list.release();
    list.reset(grown);
}

}  // namespace

SmtpRoute smtpRoute(std::string_view server, bool authenticate, bool trustLoopback) {
    const std::string typed(trim(server));
    if (typed.empty()) refuse("No SMTP server is set.");
    const auto bad = [&]() -> void {
        refuse("The SMTP server \"" + typed + "\" is not \"host\", \"host:port\" or \"smtps://host[:port]\".");
    };
    SmtpRoute r;
    std::string_view rest = typed;
    if (startsWithNoCase(rest, "smtps://")) {
        r.implicitTls = true;
        r.port = 465;
        rest.remove_prefix(8);
    } else if (startsWithNoCase(rest, "smtp://")) {
        rest.remove_prefix(7);
    }
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    std::string_view portText;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) bad();
        r.host = std::string(rest.substr(1, close - 1));
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') bad();
            portText = after.substr(1);
            if (portText.empty()) bad();
        }
        in6_addr v6{};
        if (::inet_pton(AF_INET6, r.host.c_str(), &v6) != 1) bad();
    } else if (std::count(rest.begin(), rest.end(), ':') > 1) {
        r.host = std::string(rest);
        in6_addr v6{};
        if (::inet_pton(AF_INET6, r.host.c_str(), &v6) != 1) bad();
    } else {
        const size_t colon = rest.find(':');
        r.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) bad();
        }
        if (r.host.empty()) bad();
        for (unsigned char c : r.host)
            if (!std::isalnum(c) && c != '.' && c != '-' && c != '_') bad();
    }
    if (!portText.empty()) {
        if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), [](unsigned char c) {
                return std::isdigit(c);
            }))
            bad();
        r.port = std::stoi(std::string(portText));
        if (r.port < 1 || r.port > 65535) bad();
    }
    r.loopback = isLoopback(r.host);
    r.requireTls = r.implicitTls || (authenticate && !(r.loopback && trustLoopback));
    const bool v6 = r.host.find(':') != std::string::npos;
    r.url = std::string(r.implicitTls ? "smtps://" : "smtp://") + (v6 ? "[" + r.host + "]" : r.host) + ":" +
            std::to_string(r.port);
    return r;
}

SmtpMailer::SmtpMailer(SmtpOptions options) : options_(std::move(options)) {
    // curl's global state must be set up once, before any handle exists.
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            throw Error(mailerr::kSendFailed, kSource, "libcurl could not be initialised.");
    });
}

std::string SmtpMailer::smtpHost() const { return std::string(trim(server_)); }

void SmtpMailer::setEncoding(int32_t code) {
    if (code != kMailEncodingMime && code != kMailEncodingUu)
        refuse("Invalid property value: the mail encoding is 0 (MIME) or 1 (UU), not " + std::to_string(code) + ".");
    encoding_ = code;
}

void SmtpMailer::setPriority(int32_t code) {
    if (code != kMailPriorityHigh && code != kMailPriorityNormal && code != kMailPriorityLow)
        refuse("Invalid property value: the mail priority is 1, 3 or 5, not " + std::to_string(code) + ".");
    priority_ = code;
}

void SmtpMailer::send() {
    bool handlerFailed = false;
    try {
        sendOnce(handlerFailed);
    } catch (const Error& e) {
        // A handler's own exception is its business, not a failed send.
        if (!handlerFailed && events_.sendFailed) events_.sendFailed(e.description());
        throw;
    }
}

void SmtpMailer::sendOnce(bool& handlerFailed) {
    // Everything that can be refused is refused before a connection exists.
    const SmtpRoute route = smtpRoute(server_, authenticate_, options_.trustLoopback);
    const std::vector<mail::Address> from = mail::parseAddressList(from_, separator_, "From");
    if (from.size() != 1) refuse("The From field must hold exactly one address, not " + std::to_string(from.size()) + ".");
    const auto to = mail::parseAddressList(to_, separator_, "To");
    const auto cc = mail::parseAddressList(cc_, separator_, "Cc");
    const auto bcc = mail::parseAddressList(bcc_, separator_, "Bcc");
    if (to.empty() && cc.empty() && bcc.empty()) refuse("The mail has no recipient: To, Cc and Bcc are empty.");
    if (authenticate_ && user_.empty()) refuse("SMTP authentication is on but the user name is empty.");

    mail::MessageContent content;
    content.from = from.front();
    const std::string_view displayName = trim(fromName_);
    if (content.from.name.empty() && !displayName.empty() && displayName != content.from.mailbox &&
        displayName != trim(from_))
        content.from.name = std::string(displayName);
    content.to = to;
    content.cc = cc;
    content.subject = subject_;
    content.body = body_;
    content.html = html_;
    content.encoding = encoding_;
    content.priority = priority_;
    content.receipt = receipt_;
    const std::string attachment(trim(attachment_));
    if (!attachment.empty()) {
        content.hasAttachment = true;
        content.attachmentName = std::filesystem::path(attachment).filename().string();
        content.attachmentBytes = readAttachment(attachment);
    }
    content.date = nowAsMailDate();
    const size_t at = content.from.mailbox.rfind('@');
    const std::string domain = at == std::string::npos ? localHostName() : content.from.mailbox.substr(at + 1);
    content.messageId = randomHex(16) + "." + std::to_string(std::time(nullptr)) + "@" + domain;
    content.boundary = "=_varnelo_" + randomHex(24);
    const std::string message = mail::buildMessage(content);
    content.attachmentBytes.clear();

    CurlHandle curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) throw Error(mailerr::kSendFailed, kSource, "libcurl could not create a transfer.");
    CurlList recipients(nullptr, &curl_slist_free_all);
    for (const auto* list : {&to, &cc, &bcc})
        for (const mail::Address& a : *list) append(recipients, "<" + a.mailbox + ">");

    const std::string mailFrom = "<" + content.from.mailbox + ">";
    const long seconds = std::max<long>(1, static_cast<long>((options_.timeout.count() + 999) / 1000));
    const char* envCaFile = std::getenv("VARNELO_SMTP_CAFILE");
    const std::string caFile = !options_.caFile.empty() ? options_.caFile : envCaFile ? envCaFile : "";

    Exchange x;
    x.message = &message;
    x.events = &events_;
    char curlText[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, route.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(route.requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    if (!caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, caFile.c_str());
    if (authenticate_) {
        curl_easy_setopt(c, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, password_.c_str());
    }
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, &readMessage);
    curl_easy_setopt(c, CURLOPT_READDATA, &x);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &onTransferInfo);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &x);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);  // the debug callback sees the server's replies
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &onDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &x);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, curlText);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.timeout.count()));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds);
    // A server that stops taking data is as silent as one that stops replying.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, seconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);

    const auto rethrowHandlerFailure = [&] {
        if (!x.failure) return;
        handlerFailed = true;
        std::rethrow_exception(x.failure);
    };
    x.status("Connecting to " + route.host + ":" + std::to_string(route.port));
    rethrowHandlerFailure();
    const CURLcode rc = curl_easy_perform(c);
    rethrowHandlerFailure();

    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    if (rc == CURLE_OK && code / 100 != 2) {
        // curl finished, yet the last word was not an acceptance.
        std::snprintf(curlText, sizeof curlText, "the last reply was %ld", code);
    }
    if (rc != CURLE_OK || code / 100 != 2) throw transferError(rc, curlText, x, route, user_, seconds);
    x.progress(100);
    rethrowHandlerFailure();
    if (events_.sendSuccesful) {
        handlerFailed = true;  // from here on only the handler can throw
        events_.sendSuccesful();
    }
}

std::unique_ptr<Mailer> makeSmtpMailer(SmtpOptions options) { return std::make_unique<SmtpMailer>(std::move(options)); }

}  // namespace varnelo
