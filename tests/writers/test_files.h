// File helpers for the writer tests: a scratch folder per test, whole-file reads.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace varnelo::testing_files {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "varnelo-writers-XXXXXX").string();
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

}  // namespace varnelo::testing_files
