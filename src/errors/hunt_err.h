// The error trace: one way to handle failures in every procedure.
//
// Every procedure with a handler wraps its body in guard(tag, body[, cleanup]).
// When anything is thrown out of the body, the guard turns it into the
// module's current error (our Error as it is; standard exceptions mapped to
// the platform's standard error numbers and texts), runs the clean-up, and
// calls ErrorIn(tag), which builds the report at the innermost level, adds
// one call-stack line for this procedure and throws the error on, with the
// report as its description and the source "HuntERR.ErrorIn".
//
// The module state (current and preserved error) is per thread: the control
// runs on its host's user-interface thread, one error at a time.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <type_traits>

#include "varnelo/error.h"

namespace varnelo::hunterr {

constexpr int32_t vbObjectError = err::vbObjectError;
constexpr int32_t ERRMAP_APP_FIRST = vbObjectError + 5198;  // &H8004144E
constexpr int32_t kPassThroughFirst = vbObjectError + 4197;  // &H80041065
constexpr int32_t kPassThroughLast = vbObjectError + 5197;   // &H8004144D
constexpr int kCallStackWidth = 100;

// ErrorIn flags. Only kRaise and kReport have an effect here: no transaction,
// connection or web context is ever passed in.
constexpr int kRaise = 1;
constexpr int kReport = 2;
constexpr int kAbortTx = 4;
constexpr int kDisableCommit = 8;
constexpr int kRollbackConnection = 16;
constexpr int kWebInfo = 32;
constexpr int kCloseConnection = 64;
constexpr int kStandardFlags = kRaise + kReport + kDisableCommit + kWebInfo;  // 43

// The current error of the module (what the classic Err object held).
// number 0 means "no error".
struct CurrentError {
    int32_t number = 0;
    std::string source;
    std::string description;
    std::string message;  // the cause, kept when description becomes the report
    std::string helpFile;
    std::string helpContext;
    int32_t line = 0;
    int32_t lastSystemError = 0;
};

CurrentError& current();          // this thread's current error
void setCurrent(const Error& e);  // from an exception being handled
void clearCurrent();

// Copies the current error into the preserved error, once: a second call
// while something is preserved changes nothing.
void ErrPreserve();

// Builds or extends the report for the current error under `tag` (see the
// class comment). With kRaise it throws Error and does not return; without
// it, it returns the report (or "" in the pass-through range).
//
// Without kReport nothing about the error changes: the result is "" and a
// raise (kRaise) throws the error exactly as it came in. Errors in the
// pass-through range are always raised unchanged. The line number belongs to
// the procedure that failed, so the raised error carries line 0.
std::string ErrorIn(const std::string& tag, int flags = kStandardFlags);

// Turns whatever is being thrown into our Error: Error as it is;
// std::bad_alloc 7; std::system_error / filesystem_error by errno (ENOENT
// 53, ENOTDIR 76, EACCES/EPERM/EROFS/EISDIR 75, ENOSPC/EDQUOT 61, EMFILE 67,
// EEXIST 58, EIO 57); std::out_of_range 9; std::invalid_argument 5; any
// other exception 51 with its what() text.
Error toError(std::exception_ptr p);

// Facts the report header names. Tests may replace them for a fixed text.
struct Facts {
    std::string app;         // "Varnelo"
    std::string version;     // "major.minor.revision"
    std::string adoVersion;  // the SQLite library version, or "?"
    std::string computer;    // gethostname
    // Local time as "MM/dd/yy HH:mm:ss"; empty function: the real clock.
    std::function<std::string()> clock;
};
Facts& facts();

// The standard handler around a procedure body.
template <class Body, class Cleanup>
auto guard(const std::string& tag, Body&& body, Cleanup&& cleanup) -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        const Error error = toError(std::current_exception());
        setCurrent(error);
        // The clean-up must not cost us the error being handled: a failure
        // inside it is dropped, and whatever it left in the module's current
        // error is replaced by ours again.
        try {
            cleanup();
        } catch (...) {
        }
        setCurrent(error);
        ErrorIn(tag);  // throws
        throw;         // not reached: ErrorIn raises with kRaise
    }
}

template <class Body>
auto guard(const std::string& tag, Body&& body) -> decltype(body()) {
    return guard(tag, std::forward<Body>(body), [] {});
}

// Throws a standard error with errno of the failing call captured.
[[noreturn]] void raiseSystem(int32_t number, const std::string& source, int savedErrno);

}  // namespace varnelo::hunterr
