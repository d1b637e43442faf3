#include "platform/system.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace varnelo::platform {

namespace {

// strerror_r comes in two flavours (GNU returns the text, XSI fills the
// buffer and returns a status); these overloads accept either.
[[maybe_unused]] const char* strerrorResult(const char* text, const char*) { return text; }
[[maybe_unused]] const char* strerrorResult(int status, const char* buffer) {
    return status == 0 ? buffer : "";
}

}  // namespace

std::string computerName() {
#ifdef HOST_NAME_MAX
    char name[HOST_NAME_MAX + 1] = {};
#else
    char name[256] = {};
#endif
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;  // the buffer's last byte stays 0 even when the name was cut
}

std::string systemErrorText(int code) {
    char buffer[512] = {};
    std::string text = strerrorResult(strerror_r(code, buffer, sizeof buffer), buffer);
    if (text.empty()) text = "Unknown error " + std::to_string(code);
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return c == '\r' || c == '\n'; }),
               text.end());
    return text;
}

}  // namespace varnelo::platform
