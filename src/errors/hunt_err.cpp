#include "errors/hunt_err.h"

#include <sqlite3.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "varnelo/version.h"

namespace varnelo::hunterr {

namespace {

constexpr std::string_view kNewLine = "\r\n";
// The source that marks an error whose description already is a report.
constexpr std::string_view kReportSource = "HuntERR.ErrorIn";
constexpr std::string_view kDefaultSource = "Varnelo";
constexpr std::string_view kLostInformation =
    "ErrorIn: Error information was lost. "
    "To fix: call ErrPreserve before doing anything in error handler.";
// ERROR_ENVVAR_NOT_FOUND: left behind by harmless calls, never the cause.
constexpr int32_t kIgnoredSystemError = 203;

constexpr std::string_view kHeaderTemplate =
    "%Descr% %nl%"
    "  Time='%Time%' App='%App%:%Ver%' ADO-version='%ADOVersion%' Computer='%Comp%' %nl%"
    "  Method: %MethodName% %nl%"
    "  Number: %ErrNum% = &H%ErrHex% = vbObjectError %ErrNumRel1% = ERRMAP_APP_FIRST "
    "%ErrNumRel2% %ErrStd%%nl%"
    "  Source: %Source% %nl%"
    "  Description: %Descr%%nl%";

struct ModuleState {
    CurrentError current;
    CurrentError preserved;
    bool isPreserved = false;
};

ModuleState& state() {
    thread_local ModuleState s;
    return s;
}

Facts platformFacts() {
    Facts f;
    f.app = std::string(kDefaultSource);
    f.version = VARNELO_VERSION;
    const char* ado = sqlite3_libversion();
    f.adoVersion = (ado != nullptr && *ado != '\0') ? ado : "?";
    f.computer = platform::computerName();
    return f;
}

std::string localTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) return {};
    char text[32] = {};
    std::strftime(text, sizeof text, "%m/%d/%y %H:%M:%S", &local);
    return text;
}

std::string hexText(int32_t number) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "%" PRIX32, static_cast<uint32_t>(number));
    return text;
}

// "+ 5198", "- 12", "+ 0": 64 bits, as the difference of two 32-bit numbers
// can exceed them.
std::string relativeText(int32_t number, int32_t base) {
    const int64_t difference = int64_t{number} - int64_t{base};
    return (difference < 0 ? "- " : "+ ") +
           std::to_string(difference < 0 ? -difference : difference);
}

using Placeholders = std::vector<std::pair<std::string_view, std::string>>;

// Replaces every %Name% of the template by its value in one pass, so a "%"
// (or anything else) inside a value is never read as a placeholder.
std::string fillTemplate(std::string_view text, const Placeholders& values) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        if (open == std::string_view::npos) break;
        out.append(text, pos, open - pos);
        const size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            pos = open;
            break;
        }
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const std::string* value = nullptr;
        for (const auto& [key, v] : values) {
            if (key == name) {
                value = &v;
                break;
            }
        }
        if (value != nullptr) {
            out += *value;
            pos = close + 1;
        } else {
            // Not a placeholder: keep the "%" and look again from the next one.
            out += '%';
            pos = open + 1;
        }
    }
    out.append(text, pos);
    return out;
}

std::string reportHeader(const std::string& method, const CurrentError& e) {
    const Facts& f = facts();
    // Listed in the order the template's placeholders have always been
    // replaced; the single-pass fill makes the order immaterial.
    const Placeholders values{
        {"nl", std::string(kNewLine)},
        {"MethodName", method},
        {"Comp", f.computer},
        {"Time", f.clock ? f.clock() : localTimeText()},
        {"App", f.app},
        {"Ver", f.version},
        {"ADOVersion", f.adoVersion.empty() ? "?" : f.adoVersion},
        {"ErrNum", std::to_string(e.number)},
        {"ErrHex", hexText(e.number)},
        {"ErrNumRel1", relativeText(e.number, vbObjectError)},
        {"ErrNumRel2", relativeText(e.number, ERRMAP_APP_FIRST)},
        {"ErrStd", e.number == ERRMAP_APP_FIRST ? "= ERR_GENERAL" : ""},
        {"Source", e.source},
        {"Descr", e.description},
    };
    return fillTemplate(kHeaderTemplate, values);
}

std::string systemErrorLine(int32_t code) {
    std::string line = "  API Error: (" + std::to_string(code) + ") " +
                       platform::systemErrorText(code);
    line += kNewLine;
    return line;
}

std::string callStackLine(const std::string& method, int32_t lineNumber) {
    // No parameter values are ever passed in, hence the empty parentheses.
    std::string line = "  Call Stack: " + method + "()";
    if (lineNumber != 0) line += "  at Line " + std::to_string(lineNumber);
    line += ' ';
    if (line.size() < static_cast<size_t>(kCallStackWidth)) {
        line.append(static_cast<size_t>(kCallStackWidth) - line.size(), '-');
    }
    line += kNewLine;
    return line;
}

bool isPassThrough(int32_t number) {
    return number >= kPassThroughFirst && number <= kPassThroughLast;
}

int32_t numberForErrno(int code, const std::filesystem::path* path) {
    switch (code) {
        case ENOENT: {
            // A missing folder on the way to the file is "Path not found".
            if (path != nullptr) {
                const std::filesystem::path parent = path->parent_path();
                std::error_code ec;
                if (!parent.empty() && !std::filesystem::exists(parent, ec) && !ec) {
                    return err::kPathNotFound;
                }
            }
            return err::kFileNotFound;
        }
        case ENOTDIR: return err::kPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR: return err::kPathFileAccess;
        case ENOSPC:
        case EDQUOT: return err::kDiskFull;
        case EMFILE:
        case ENFILE: return err::kTooManyFiles;
        case EEXIST: return err::kFileExists;
        case EIO: return err::kDeviceIoError;
        case EBADF: return err::kBadFileNameOrNumber;
        case ENOMEM: return err::kOutOfMemory;
        default: return 0;
    }
}

Error fromSystemError(const std::system_error& e, const std::filesystem::path* path) {
    const std::error_category& category = e.code().category();
    if (category != std::generic_category() && category != std::system_category()) {
        return Error(51, std::string(kDefaultSource), e.what());
    }
    const int code = e.code().value();
    const int32_t number = numberForErrno(code, path);
    if (number == 0) return Error(51, std::string(kDefaultSource), e.what(), code);
    return Error::standard(number, std::string(kDefaultSource), code);
}

}  // namespace

CurrentError& current() { return state().current; }

void setCurrent(const Error& e) {
    CurrentError& c = state().current;
    c.number = e.number();
    c.source = e.source();
    c.description = e.description();
    c.message = e.message();
    c.helpFile = e.helpFile();
    c.helpContext = e.helpContext();
    c.line = e.line();
    c.lastSystemError = e.lastSystemError();
}

void clearCurrent() { state().current = CurrentError{}; }

void ErrPreserve() {
    ModuleState& s = state();
    if (s.isPreserved) return;
    s.preserved = s.current;
    s.isPreserved = true;
}

std::string ErrorIn(const std::string& tag, int flags) {
    ModuleState& s = state();

    if (s.current.number == 0 && !s.isPreserved) {
        s.current.number = ERRMAP_APP_FIRST;
        s.current.description = std::string(kLostInformation);
        s.current.message = s.current.description;
    }
    ErrPreserve();
    CurrentError& preserved = s.preserved;

    std::string result;
    if (!isPassThrough(preserved.number)) {
        const std::string method = tag.substr(0, tag.find('('));
        std::string report;
        if (preserved.source == kReportSource) {
            // Raised by a lower level: its report already has the header.
            report = preserved.description;
        } else {
            preserved.message = preserved.description;
            report = reportHeader(method, preserved);
            if (preserved.lastSystemError != 0 &&
                preserved.lastSystemError != kIgnoredSystemError) {
                report += systemErrorLine(preserved.lastSystemError);
            }
        }
        report += callStackLine(method, preserved.line);
        // Transaction, connection and web-request steps: nothing is ever
        // passed in for them, so there is nothing to do.
        if ((flags & kReport) != 0) {
            preserved.source = std::string(kReportSource);
            preserved.description = report;
            result = std::move(report);
        }
    }

    CurrentError& c = s.current;
    c.number = preserved.number;
    c.source = preserved.source;
    c.description = preserved.description;
    c.message = preserved.message;
    c.helpFile = preserved.helpFile;
    if (!preserved.helpContext.empty()) c.helpContext = preserved.helpContext;
    c.line = preserved.line;
    c.lastSystemError = preserved.lastSystemError;
    s.isPreserved = false;

    if ((flags & kRaise) != 0) {
        Error raised(c.number, c.source, c.description, c.lastSystemError);
        raised.setHelp(c.helpFile, c.helpContext);
        if (!c.message.empty()) raised.setMessage(c.message);
        throw raised;
    }
    return result;
}

Error toError(std::exception_ptr p) {
    if (!p) return Error::standard(51, std::string(kDefaultSource));
    try {
        std::rethrow_exception(p);
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error::standard(err::kOutOfMemory, std::string(kDefaultSource));
    } catch (const std::filesystem::filesystem_error& e) {
        return fromSystemError(e, &e.path1());
    } catch (const std::system_error& e) {
        return fromSystemError(e, nullptr);
    } catch (const std::out_of_range&) {
        return Error::standard(err::kSubscriptOutOfRange, std::string(kDefaultSource));
    } catch (const std::invalid_argument&) {
        return Error::standard(err::kInvalidProcedureCall, std::string(kDefaultSource));
    } catch (const std::overflow_error&) {
        return Error::standard(err::kOverflow, std::string(kDefaultSource));
    } catch (const std::exception& e) {
        const std::string what = e.what();
        return what.empty() ? Error::standard(51, std::string(kDefaultSource))
                            : Error(51, std::string(kDefaultSource), what);
    } catch (...) {
        return Error::standard(51, std::string(kDefaultSource));
    }
}

Facts& facts() {
    thread_local Facts f = platformFacts();
    return f;
}

void raiseSystem(int32_t number, const std::string& source, int savedErrno) {
    throw Error::standard(number, source, savedErrno);
}

}  // namespace varnelo::hunterr
