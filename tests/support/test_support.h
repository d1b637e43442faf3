// Helpers shared by the test programs: scratch folders, whole files, shell commands, the error an action raises.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "varnelo/error.h"

namespace varnelo::testing_support {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "varnelo-test-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) ? tmpl : throw std::runtime_error("mkdtemp failed");
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }
    // Every name in the folder, hidden ones included.
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_)) out.insert(e.path().filename());
        return out;
    }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return in ? s.str() : throw std::runtime_error("cannot read " + path);
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// `s` as one shell word.
inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs a shell command without input: its exit status (-1 when it did not exit) and what it printed on both streams.
inline std::pair<int, std::string> runShell(const std::string& command) {
    FILE* p = ::popen(("(" + command + ") 2>&1 </dev/null").c_str(), "r");
    std::string out;
    char buf[65536];
    for (size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    const int raw = p ? ::pclose(p) : -1;
    return {raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

// The error `action` raises; a test failure (and an empty error) when it raises none.
template <class F>
Error errorOf(F&& action) {
    try {
        action();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "no error was raised";
    return Error(0, "", "");
}

// Every test program (and every program it starts) keeps the control's settings in a folder of its own, removed at
// exit: no test reads or writes the user's own settings.
inline bool isolateUserSettings() {
    static std::string folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "varnelo-config-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        return tmpl;
    }();
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    });
    return true;
}
inline const bool kUserSettingsIsolated = isolateUserSettings();

}  // namespace varnelo::testing_support
