// Error: the one exception type every failure of the control reaches a host as.
//
// A public method or property that fails throws varnelo::Error. Its number
// keeps the platform's standard error numbers (13 type mismatch, 53 file not
// found, 380 invalid property value, ...) or an application number at or above
// vbObjectError; its description is the full plain-text trace report built by
// the error trace (see errors/hunt_err.h): a header written where the error
// arose and one call-stack line for every procedure it passed through.
// message() keeps the cause alone (the description the error was raised
// with) and trace() the rest of the report, for callers who show them apart.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "varnelo/export_macros.h"

namespace varnelo {

// Standard run-time error numbers the control raises or maps to.
namespace err {
constexpr int32_t kInvalidProcedureCall = 5;
constexpr int32_t kOverflow = 6;
constexpr int32_t kOutOfMemory = 7;
constexpr int32_t kSubscriptOutOfRange = 9;
constexpr int32_t kTypeMismatch = 13;
constexpr int32_t kBadFileNameOrNumber = 52;
constexpr int32_t kFileNotFound = 53;
constexpr int32_t kBadFileMode = 54;
constexpr int32_t kFileAlreadyOpen = 55;
constexpr int32_t kDeviceIoError = 57;
constexpr int32_t kFileExists = 58;
constexpr int32_t kDiskFull = 61;
constexpr int32_t kTooManyFiles = 67;
constexpr int32_t kPermissionDenied = 70;
constexpr int32_t kPathFileAccess = 75;
constexpr int32_t kPathNotFound = 76;
constexpr int32_t kObjectNotSet = 91;
constexpr int32_t kControlArrayElement = 340;
constexpr int32_t kInvalidPropertyValue = 380;
constexpr int32_t kSetNotAtDesignTime = 383;
constexpr int32_t kObjectNotSupported = 438;
constexpr int32_t kNoCurrentRecord = 3021;
constexpr int32_t kItemNotFound = 3265;

constexpr int32_t vbObjectError = static_cast<int32_t>(0x80040000u);
}  // namespace err

// The platform's text for a standard error number ("Type mismatch");
// "Application-defined or object-defined error" for any other number.
VARNELO_EXPORT std::string standardErrorText(int32_t number);

// The text of error 340 for one index: "Control array element '7' doesn't
// exist".
VARNELO_EXPORT std::string controlArrayElementText(int index);

class VARNELO_EXPORT Error : public std::runtime_error {
public:
    Error(int32_t number, std::string source, std::string description,
          int32_t lastSystemError = 0)
        : std::runtime_error(description),
          number_(number),
          source_(std::move(source)),
          description_(std::move(description)),
          message_(description_),
          lastSystemError_(lastSystemError) {}

    // A standard error with the platform's text and the given source.
    static Error standard(int32_t number, std::string source = "Varnelo",
                          int32_t lastSystemError = 0) {
        return Error(number, std::move(source), standardErrorText(number), lastSystemError);
    }

    int32_t number() const { return number_; }
    const std::string& source() const { return source_; }
    // The trace report (or, for an error that passed no handler yet, the
    // cause alone); what() returns the same text.
    const std::string& description() const { return description_; }
    // The cause in one line, e.g. "Path not found (opening /x/out.csv)".
    const std::string& message() const { return message_; }
    // The report without its first line (the cause): where and when the
    // error arose and the call stack; empty when no report was built.
    std::string trace() const;
    const std::string& helpFile() const { return helpFile_; }
    const std::string& helpContext() const { return helpContext_; }
    int32_t line() const { return line_; }
    // errno captured at the failing call (0 when the failure was not a
    // system call's).
    int32_t lastSystemError() const { return lastSystemError_; }

    Error& setHelp(std::string file, std::string context) {
        helpFile_ = std::move(file);
        helpContext_ = std::move(context);
        return *this;
    }
    Error& setLine(int32_t line) { line_ = line; return *this; }
    // The error trace keeps the cause when the description becomes a report.
    Error& setMessage(std::string message) {
        message_ = std::move(message);
        return *this;
    }

    const char* what() const noexcept override { return description_.c_str(); }

private:
    int32_t number_;
    std::string source_;
    std::string description_;
    std::string message_;
    std::string helpFile_;
    std::string helpContext_;
    int32_t line_ = 0;
    int32_t lastSystemError_ = 0;
};

}  // namespace varnelo
