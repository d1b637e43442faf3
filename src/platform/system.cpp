#include "platform/system.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
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

std::string userSettingsFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/varnelo";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && h[0] == '/') home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') home = pw->pw_dir;
    return home.empty() ? std::string() : home + "/.config/varnelo";
}

}  // namespace varnelo::platform
