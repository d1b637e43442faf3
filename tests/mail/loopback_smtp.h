// Real SMTP servers on loopback (smtp_server.py on aiosmtpd) and what they stored, as Python's email package read it.
#pragma once

#include <signal.h>

#include <map>

#include "support/test_support.h"

namespace varnelo::testing_support {

// One stored message: the server's records, "<none>" for a missing key.
struct DeliveredMail : std::map<std::string, std::string> {
    std::string raw;  // the data as received
    std::string operator[](const std::string& key) const { return contains(key) ? at(key) : "<none>"; }
};

inline std::string hexOf(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) out += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return out;
}

// Listeners "plain", "tls" (its certificate is FOLDER/cert.pem), "silent" and "closed"; see smtp_server.py.
class LoopbackSmtp {
public:
    static constexpr const char* kUser = "mailer";
    static constexpr const char* kPassword = "s3cret pässwort";

    explicit LoopbackSmtp(const std::filesystem::path& folder) : folder_(folder) {
        const std::string command = "exec /usr/bin/python3 " + shellQuote(VARNELO_SOURCE_DIR "/tests/mail/smtp_server.py") +
                                    " " + shellQuote(folder.string()) + " " + kUser + " " + shellQuote(kPassword);
        server_ = ::popen(command.c_str(), "r");
        char line[256], name[32];
        for (int number = 0; server_ && std::fgets(line, sizeof line, server_) &&
                             std::sscanf(line, "%31s %d", name, &number) == 2;)
            ports_[name] = number;
        if (ports_.size() != 5 || ports_["pid"] <= 0) throw std::runtime_error("the SMTP server did not start");
    }
    ~LoopbackSmtp() { ::kill(ports_["pid"], SIGTERM), ::pclose(server_); }
    LoopbackSmtp(const LoopbackSmtp&) = delete;
    LoopbackSmtp& operator=(const LoopbackSmtp&) = delete;

    std::string server(const std::string& name) const { return "127.0.0.1:" + std::to_string(ports_.at(name)); }

    std::vector<DeliveredMail> delivered(const std::string& name) const {
        std::vector<DeliveredMail> mails;
        for (const auto& e : std::filesystem::directory_iterator(folder_ / name)) {
            if (e.path().extension() != ".txt") continue;
            const std::string text = readFile(e.path().string());
            DeliveredMail& mail = mails.emplace_back();
            for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) {
                const size_t tab = text.find('\t', at);
                mail.emplace(text.substr(at, tab - at), text.substr(tab + 1, end - tab - 1));
            }
            mail.raw = readFile(std::filesystem::path(e.path()).replace_extension(".eml").string());
        }
        return mails;
    }

    std::string authLog(const std::string& name) const {
        return std::filesystem::exists(folder_ / name / "auth.log") ? readFile(folder_ / name / "auth.log") : "";
    }

    // Forgets what every listener stored.
    void clear() const {
        for (const char* name : {"plain", "tls"})
            for (const auto& e : std::filesystem::directory_iterator(folder_ / name)) std::filesystem::remove(e.path());
    }

private:
    std::filesystem::path folder_;
    FILE* server_ = nullptr;
    std::map<std::string, int> ports_;  // and the server's "pid"
};

}  // namespace varnelo::testing_support
