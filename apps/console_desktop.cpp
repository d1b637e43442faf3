#include "console_desktop.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <iostream>

extern char** environ;

namespace varnelo {

int ConsoleDesktop::messageBox(const std::string& text, const std::string& title, int) {
    messageShown = true;
    std::cerr << title << ": " << text << std::endl;
    return 1;
}

void ConsoleDesktop::openDocument(const std::string& path, uintptr_t) {
    // Like the shell's open: fire and forget, the result is not looked at.
    pid_t pid;
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) == 0)
        waitpid(pid, nullptr, 0);
}

void ConsoleDesktop::showReport(const std::string& report) { std::cerr << report << std::endl; }

}  // namespace varnelo
