#include "writers/temporary_names.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace varnelo::temporary_names {

namespace {

constexpr int kSlots = 32;
enum State : int { kFree = 0, kFilling = 1, kLive = 2 };

struct Slot {
    std::atomic<int> state{kFree};
    int dirFd = -1;
    char name[NAME_MAX + 1] = {};
};

Slot gSlots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free slots");

extern "C" void removeAndReraise(int sig) {
    const int savedErrno = errno;
    for (Slot& s : gSlots) {
        if (s.state.load(std::memory_order_acquire) == kLive) ::unlinkat(s.dirFd, s.name, 0);
    }
    // SA_RESETHAND has put the default action back: the same signal now ends
    // the process as if nothing had caught it.
    ::raise(sig);
    errno = savedErrno;
}

}  // namespace

int remember(int dirFd, const char* name) noexcept {
    const size_t len = std::strlen(name);
    if (len > NAME_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!gSlots[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acq_rel)) continue;
        gSlots[i].dirFd = dirFd;
        std::memcpy(gSlots[i].name, name, len + 1);
        gSlots[i].state.store(kLive, std::memory_order_release);
        return i;
    }
    return -1;
}

void forget(int slot) noexcept {
    if (slot >= 0 && slot < kSlots) gSlots[slot].state.store(kFree, std::memory_order_release);
}

void installOnSignals() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(sig, nullptr, &current) != 0) continue;
        if (current.sa_handler != SIG_DFL || (current.sa_flags & SA_SIGINFO)) continue;
        struct sigaction action {};
        action.sa_handler = &removeAndReraise;
        sigemptyset(&action.sa_mask);
        // The other two wait while one handler runs, so the names go once.
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        sigaddset(&action.sa_mask, SIGHUP);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(sig, &action, nullptr);
    }
}

int liveCount() noexcept {
    int n = 0;
    for (const Slot& s : gSlots) n += s.state.load(std::memory_order_acquire) == kLive;
    return n;
}

}  // namespace varnelo::temporary_names
