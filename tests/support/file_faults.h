// FileFaults: counts the file operations that go through fileOps() and makes the nth one fail. Operations are named
// after the call ("write", "renameat"), opens and closes by kind ("openat-tmpfile", "openat-folder", "close-folder").
// One object at a time; its destructor puts the system's calls back. failEveryOperation() runs the whole proof.
#pragma once

#include <fcntl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/error.h"
#include "writers/file_ops.h"

namespace varnelo::testing_support {

class FileFaults {
public:
    FileFaults() {
        State& s = state();
        s = State{};
        s.real = fileOps();
        FileOps& ops = fileOps();
        ops.openat = [](int d, const char* p, int flags, mode_t m) {
            const bool tmp = (flags & O_TMPFILE) == O_TMPFILE, dir = !tmp && (flags & O_DIRECTORY);
            const char* name = tmp ? "openat-tmpfile" : dir ? "openat-folder" : "openat";
            if (tmp && state().refuseUnnamed && !state().willFail()) {
                state().log.push_back(name);
                errno = EOPNOTSUPP;
                return -1;
            }
            if (hit(name, EMFILE)) return -1;
            const int fd = state().real.openat(d, p, flags, m);
            if (fd >= 0 && dir) state().folders.insert(fd);
            return fd;
        };
        // The others fail as their call would, with an errno typical of it.
        ops.write = [](auto... a) { return hit("write", ENOSPC) ? -1 : state().real.write(a...); };
        ops.pread = [](auto... a) { return hit("pread", EIO) ? -1 : state().real.pread(a...); };
        ops.fdatasync = [](auto... a) { return hit("fdatasync", EIO) ? -1 : state().real.fdatasync(a...); };
        ops.fsync = [](auto... a) { return hit("fsync", EIO) ? -1 : state().real.fsync(a...); };
        ops.fchmod = [](auto... a) { return hit("fchmod", EPERM) ? -1 : state().real.fchmod(a...); };
        ops.linkat = [](auto... a) { return hit("linkat", EIO) ? -1 : state().real.linkat(a...); };
        ops.renameat = [](auto... a) { return hit("renameat", EIO) ? -1 : state().real.renameat(a...); };
        ops.unlinkat = [](auto... a) { return hit("unlinkat", EIO) ? -1 : state().real.unlinkat(a...); };
        ops.copyFileRange = [](auto... a) { return hit("copy_file_range", ENOSPC) ? -1 : state().real.copyFileRange(a...); };
        ops.sendfile = [](auto... a) { return hit("sendfile", ENOSPC) ? -1 : state().real.sendfile(a...); };
        ops.close = [](int fd) {
            const char* name = state().folders.erase(fd) ? "close-folder" : "close";
            const int closed = state().real.close(fd);  // a failed close still releases the descriptor, as on Linux
            return hit(name, EIO) ? -1 : closed;
        };
    }
    ~FileFaults() { fileOps() = state().real; }
    FileFaults(const FileFaults&) = delete;
    FileFaults& operator=(const FileFaults&) = delete;

    // The nth operation from the last reset (1-based) fails with an errno typical of that call; 0 fails none.
    void failAt(int n) { state().failAt = n; }
    // O_TMPFILE opens fail with EOPNOTSUPP, as on a file system without unnamed files (still counted).
    void refuseUnnamed(bool on = true) { state().refuseUnnamed = on; }
    void reset() {
        state().log.clear();
        state().failed.clear();
        state().failedErrno = 0;
    }
    int count() const { return static_cast<int>(state().log.size()); }
    const std::vector<std::string>& calls() const { return state().log; }
    const std::string& failed() const { return state().failed; }
    int failedErrno() const { return state().failedErrno; }

    // Whether a description says `operation` failed on `file`: "(writing /x/out.csv)", "(closing /x/out.csv)".
    static bool describes(const std::string& description, const std::string& operation, const std::string& file) {
        static const std::map<std::string, std::vector<std::string>> phrases = {
            {"openat-folder", {"opening the folder of"}}, {"fchmod", {"setting the permissions of"}},
            {"openat-tmpfile", {"creating a temporary file for", "creating a scratch file for"}},
            {"openat", {"creating a temporary file for", "creating a scratch file for", "opening"}},
            {"write", {"writing", "writing a scratch file for"}}, {"fdatasync", {"syncing"}},
            {"linkat", {"linking the new file for"}}, {"close", {"closing"}}, {"renameat", {"replacing"}},
            {"fsync", {"syncing the folder of"}}, {"copy_file_range", {"copying into"}}, {"sendfile", {"copying into"}},
            {"pread", {"reading a scratch file for"}}, {"unlinkat", {"creating a scratch file for"}},
        };
        const auto it = phrases.find(operation);
        if (it == phrases.end()) return false;
        for (const std::string& phrase : it->second) {
            const std::string said = "(" + phrase + " " + file;
            const size_t at = description.find(said);
            if (at != std::string::npos && (description[at + said.size()] == ')' || description[at + said.size()] == ',' ||
                                            description.compare(at + said.size(), 4, " for") == 0))
                return true;
        }
        return false;
    }

private:
    struct State {
        FileOps real{};
        std::vector<std::string> log;
        std::set<int> folders;
        int failAt = 0, failedErrno = 0;
        bool refuseUnnamed = false;
        std::string failed;
        bool willFail() const { return failAt == static_cast<int>(log.size()) + 1; }
    };
    static State& state() {
        static State s;
        return s;
    }
    // Logs the call; true (with errno set) when it is the one to fail.
    static bool hit(const char* name, int typical) {
        State& s = state();
        s.log.push_back(name);
        if (static_cast<int>(s.log.size()) != s.failAt) return false;
        s.failed = name;
        s.failedErrno = errno = typical;
        return true;
    }
};

// Runs `run` once cleanly and then once for each of its file operations with that one failing, `file` holding
// `previous` before every run. After each failure: an error naming the operation and the file with the injected
// errno, `file` still byte for byte `previous`, and nothing else in its folder. Past the rename the new file is in
// place whole (the same bytes as the clean run's, or the same kind and about the same size when `reproducible` is
// false), and only a failed folder sync is reported. Returns the number of failures run.
inline int failEveryOperation(const std::string& file, const std::string& previous, const std::function<void()>& run,
                              bool refuseUnnamed = false, bool reproducible = true) {
    namespace fs = std::filesystem;
    writeFile(file, previous);
    FileFaults faults;
    faults.refuseUnnamed(refuseUnnamed);
    run();
    const std::string written = readFile(file);
    EXPECT_NE(written, previous);
    const std::vector<std::string> clean = faults.calls();
    const int count = faults.count(), renamed = std::find(clean.begin(), clean.end(), "renameat") - clean.begin() + 1;
    EXPECT_LE(renamed, count) << "no rename in a clean run";
    for (int n = 1; n <= count; ++n) {
        writeFile(file, previous);
        faults.reset();
        faults.failAt(n);
        bool raised = false;
        try {
            run();
        } catch (const Error& e) {
            raised = true;
            EXPECT_EQ(e.lastSystemError(), faults.failedErrno());
            EXPECT_TRUE(FileFaults::describes(e.description(), faults.failed(), file)) << e.description();
        }
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(count) + ": " + faults.failed());
        if (n > renamed) {
            EXPECT_EQ(raised, faults.failed() == "fsync");
            const std::string now = readFile(file);
            if (reproducible)
                EXPECT_EQ(now, written);
            else  // a workbook's stamp of its creation time compresses a byte or so differently
                EXPECT_TRUE(now.size() + 64 > written.size() && now.size() < written.size() + 64 &&
                            now.compare(0, 4, written, 0, 4) == 0);
        } else {
            EXPECT_TRUE(raised);
            EXPECT_EQ(readFile(file), previous);
        }
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(fs::path(file).parent_path())) names.push_back(e.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{fs::path(file).filename()}) << "nothing else in the folder";
    }
    return count;
}

}  // namespace varnelo::testing_support
