// Facts the operating system gives about itself: the computer's name and the
// text it has for a system error code. Used by the error report.
#pragma once

#include <string>

namespace varnelo::platform {

// The host name as gethostname reports it; "" when it cannot be read.
std::string computerName();

// The system's message for an errno value (strerror), with any line breaks
// removed so that it fits on one report line. Never fails: an unknown code
// gets the system's "Unknown error n" text.
std::string systemErrorText(int code);

}  // namespace varnelo::platform
