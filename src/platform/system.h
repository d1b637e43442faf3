// Facts the operating system gives about itself: the computer's name and the
// text it has for a system error code (used by the error report), and the
// user's folder for the control's settings file.
#pragma once

#include <string>

namespace varnelo::platform {

// The host name as gethostname reports it; "" when it cannot be read.
std::string computerName();

// The system's message for an errno value (strerror), with any line breaks
// removed so that it fits on one report line. Never fails: an unknown code
// gets the system's "Unknown error n" text.
std::string systemErrorText(int code);

// Where the settings file lives unless a host names a folder: program
// folders are not writable for their users, so the user's configuration
// folder, $XDG_CONFIG_HOME/varnelo, or ~/.config/varnelo when the variable
// is unset, empty or not an absolute path. The home folder is $HOME, else
// the password database's; "" when neither is known.
std::string userSettingsFolder();

}  // namespace varnelo::platform
