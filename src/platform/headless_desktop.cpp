#include "varnelo/desktop.h"

namespace varnelo {

int HeadlessDesktop::messageBox(const std::string& text, const std::string& title, int style) {
    // The icon is the style's 16..64 part; the low bits choose buttons, and
    // the control shows only OK boxes.
    messages_.push_back({text, title, style & 0x70});
    return 1;  // OK
}

void HeadlessDesktop::showReport(const std::string& report) { reports_.push_back(report); }

void HeadlessDesktop::clear() {
    messages_.clear();
    reports_.clear();
}

}  // namespace varnelo
