// Real SMTP servers on loopback for the mail tests (tests/mail/smtp_server.py
// on aiosmtpd), a throwaway certificate for their STARTTLS variant, and the
// read-back of what they stored (tests/mail/read_mail.py).
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/test_support.h"

extern char** environ;

namespace varnelo::testing_support {

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command: its exit status and what it printed on both streams.
inline std::pair<int, std::string> shell(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen((cmd + " 2>&1 </dev/null").c_str(), "r");
    if (!p) return {-1, "cannot run " + cmd};
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int raw = ::pclose(p);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

inline std::string hexOf(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

// A socket on a free loopback port that never answers: `listening` accepts
// connections (the kernel completes them) and says nothing; otherwise the
// port is only reserved, so a connection is refused.
class QuietSocket {
public:
    explicit QuietSocket(bool listening) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            (listening && ::listen(fd_, 4) != 0) || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("cannot open a loopback socket");
        port_ = ntohs(a.sin_port);
    }
    ~QuietSocket() { ::close(fd_); }
    QuietSocket(const QuietSocket&) = delete;
    QuietSocket& operator=(const QuietSocket&) = delete;
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

// One delivered message as read_mail.py prints it; "<none>" for a key it
// did not print.
struct DeliveredMail : std::map<std::string, std::string> {
    std::string raw;
    std::string operator[](const std::string& key) const {
        auto it = find(key);
        return it == end() ? "<none>" : it->second;
    }
};

class LoopbackSmtp {
public:
    static constexpr const char* kUser = "mailer";
    static constexpr const char* kPassword = "s3cret pässwort";

    explicit LoopbackSmtp(const std::filesystem::path& folder) : folder_(folder) {
        cert_ = (folder / "cert.pem").string();
        const std::string key = (folder / "key.pem").string();
        const auto [status, text] = shell(
            "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=localhost "
            "-addext subjectAltName=IP:127.0.0.1,DNS:localhost -keyout " +
            shellQuote(key) + " -out " + shellQuote(cert_));
        if (status != 0) throw std::runtime_error("openssl: " + text);

        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        const std::string script = std::string(VARNELO_SOURCE_DIR) + "/tests/mail/smtp_server.py";
        const std::string mailFolder = (folder / "mail").string();
        std::vector<std::string> args{"/usr/bin/python3", script, mailFolder, cert_, key, kUser, kPassword};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) throw std::runtime_error("cannot start the SMTP server");
        FILE* lines = ::fdopen(out[0], "r");
        char line[256];
        while (std::fgets(line, sizeof line, lines)) {
            std::string s(line);
            if (s == "ready\n") break;
            const size_t blank = s.find(' ');
            if (blank != std::string::npos) ports_[s.substr(0, blank)] = std::stoi(s.substr(blank + 1));
        }
        std::fclose(lines);
        if (ports_.size() != 4) throw std::runtime_error("the SMTP server did not start");
    }
    ~LoopbackSmtp() {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    LoopbackSmtp(const LoopbackSmtp&) = delete;
    LoopbackSmtp& operator=(const LoopbackSmtp&) = delete;

    const std::string& certificate() const { return cert_; }
    std::string server(const std::string& variant) const { return "127.0.0.1:" + std::to_string(ports_.at(variant)); }

    // Stored messages of a variant (base names, oldest first).
    std::vector<std::string> delivered(const std::string& variant) const {
        std::vector<std::string> bases;
        const auto dir = folder_ / "mail" / variant;
        if (!std::filesystem::exists(dir)) return bases;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.path().extension() == ".json") bases.push_back((dir / e.path().stem()).string());
        std::sort(bases.begin(), bases.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        return bases;
    }

    std::string authLog(const std::string& variant) const {
        const auto path = folder_ / "mail" / variant / "auth.log";
        return std::filesystem::exists(path) ? readFile(path.string()) : "";
    }

    // Forgets what every variant stored.
    void clear() const {
        for (const auto& e : std::filesystem::directory_iterator(folder_ / "mail"))
            for (const auto& f : std::filesystem::directory_iterator(e.path())) std::filesystem::remove(f.path());
    }

    static DeliveredMail read(const std::string& base) {
        const auto [status, text] =
            shell("/usr/bin/python3 " + shellQuote(std::string(VARNELO_SOURCE_DIR) + "/tests/mail/read_mail.py") +
                  " " + shellQuote(base));
        DeliveredMail mail;
        if (status != 0) throw std::runtime_error("read_mail.py: " + text);
        for (size_t at = 0, end; (end = text.find('\0', at)) != std::string::npos; at = end + 1) {
            const std::string record = text.substr(at, end - at);
            const size_t tab = record.find('\t');
            mail.emplace(record.substr(0, tab), record.substr(tab + 1));
        }
        mail.raw = readFile(base + ".eml");
        return mail;
    }

private:
    std::filesystem::path folder_;
    std::string cert_;
    pid_t pid_ = -1;
    std::map<std::string, int> ports_;
};

}  // namespace varnelo::testing_support
