// TemporaryNames: the named temporary files alive in this process, so that a
// signal that ends it can remove them first.
//
// OutputFile and ScratchFile remember a temporary here for as long as it has
// a name in a folder (a file created unnamed with O_TMPFILE needs nothing:
// the kernel drops it with the last descriptor, also after kill -9). The
// signal handler that installOnSignals() sets for SIGINT, SIGTERM and SIGHUP
// unlinks every remembered name and then lets the signal end the process as
// it would have (default action, same signal).
//
// remember() and forget() are async-signal-safe and lock-free; the registry
// holds a fixed number of names, and one beyond that is simply not covered
// (the owner still removes it on every ordinary path).
#pragma once

namespace varnelo::temporary_names {

// Remembers the name `name` in the folder open as `dirFd`; returns the slot
// to pass to forget(), or -1 when the registry is full or the name too long.
int remember(int dirFd, const char* name) noexcept;
void forget(int slot) noexcept;

// Installs the handler for SIGINT, SIGTERM and SIGHUP where the signal still
// has its default action (a host's own handler or an ignored signal is left
// as it is). Calling it again changes nothing.
void installOnSignals();

// The names remembered now, for tests.
int liveCount() noexcept;

}  // namespace varnelo::temporary_names
