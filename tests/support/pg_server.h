// A private PostgreSQL server for the tests that read from PostgreSQL and those that load files into it.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace varnelo::testing_support {

namespace fs = std::filesystem;
using PgRows = std::vector<std::vector<std::optional<std::string>>>;  // nullopt: NULL

struct Outcome {
    int status = -1;
    std::string output;  // standard output and standard error together
};

// initdb into a scratch folder, its own Unix socket, no TCP; under root every server program runs as `postgres`.
class PgServer {
public:
    PgServer() {
        std::error_code ec;
        int newest = 0;
        for (const auto& v : fs::directory_iterator("/usr/lib/postgresql", ec)) {
            const int version = std::atoi(v.path().filename().c_str());
            if (version > newest && fs::exists(v.path() / "bin/postgres")) newest = version, bin_ = v.path() / "bin";
        }
        if (bin_.empty()) {
            absent_ = "no PostgreSQL server in /usr/lib/postgresql/*/bin (Debian package: postgresql)";
            return;
        }
        fs::create_directory(data_);
        fs::create_directory(socket_);
        ::chmod(dir_.path().c_str(), 0755);  // the server's user reaches its folders through ours
        const bool root = ::geteuid() == 0;
        if (root) asUser_ = "runuser -u postgres -- ";
        const std::string data = shellQuote(data_), log = shellQuote(socket_ + "/server.log");
        const std::string options =
            "-c listen_addresses='' -k " + socket_ + " -c fsync=off -c full_page_writes=off -c synchronous_commit=off";
        const std::string init = tool("initdb") + " -D " + data + " -U postgres -A trust -E UTF8 --locale=C.UTF-8";
        const std::string start = tool("pg_ctl") + " -D " + data + " -l " + log + " -w -t 60 -o " + shellQuote(options);
        Outcome o = inDir((root ? "chown postgres:postgres " + data + " " + shellQuote(socket_) + " && " : "") + init +
                          " --no-sync && " + start + " start || { cat " + log + "; false; }");
        started_ = true;  // pg_ctl may have started it even when it reports a failure
        if (o.status != 0) error_ = "the server did not start:\n" + o.output;
    }
    ~PgServer() {
        if (started_) inDir(tool("pg_ctl") + " -D " + shellQuote(data_) + " -m immediate -w stop");
    }

    const std::string& absent() const { return absent_; }
    std::string conninfo(const std::string& db = "postgres") const {
        return "host=" + socket_ + " user=postgres dbname=" + db;
    }
    const std::string& socketDir() const { return socket_; }
    const std::string& error() const { return error_; }

    // psql on the private socket: the commands, then the script file (if any) on standard input; stops at an error.
    Outcome psql(const std::string& options, const std::string& commands, const std::string& scriptFile = "") {
        return inDir(tool("psql") + " -X -q -v ON_ERROR_STOP=1 -h " + shellQuote(socket_) +
                     " -U postgres -d postgres " + options + " -c " + shellQuote(commands) +
                     (scriptFile.empty() ? "" : " -f - < " + shellQuote(scriptFile)));
    }

    // A query's rows: every value ends in a NUL byte, NULL is a marker.
    PgRows query(const std::string& sql, size_t columns) {
        Outcome o = psql("-A -t -z -0 -P null=@NULL@", "SET datestyle TO ISO; " + sql);
        EXPECT_EQ(o.status, 0) << o.output;
        PgRows rows;
        for (size_t at = 0, end; (end = o.output.find('\0', at)) != std::string::npos; at = end + 1) {
            if (rows.empty() || rows.back().size() == columns) rows.emplace_back();
            const std::string v = o.output.substr(at, end - at);
            rows.back().push_back(v == "@NULL@" ? std::optional<std::string>{} : std::optional<std::string>{v});
        }
        return rows;
    }

private:
    std::string tool(const char* name) const {
        return asUser_ + "env PGCLIENTENCODING=UTF8 " + shellQuote(bin_ / name);
    }
    // From a folder the server's user may read: the tools look at it.
    Outcome inDir(const std::string& command) {
        auto [status, output] = runShell("cd " + shellQuote(dir_.path()) + " && " + command);
        return {status, std::move(output)};
    }

    TempDir dir_;
    fs::path bin_;
    std::string data_ = dir_.file("data"), socket_ = dir_.file("sock"), asUser_, absent_, error_;
    bool started_ = false;
};

}  // namespace varnelo::testing_support
