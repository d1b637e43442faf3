// The command-line host's desktop: message boxes on standard error, no wait
// window, files opened with xdg-open, every dialog answered as cancelled.
// The command-line host runs the control with RecordingHost (testing.h): it
// needs nothing of a host beyond the ambient defaults.
#pragma once

#include <string>

#include "varnelo/desktop.h"
#include "varnelo/testing.h"

namespace varnelo {

class ConsoleDesktop : public Desktop {
public:
    bool messageShown = false;

    int messageBox(const std::string& text, const std::string& title, int style) override;
    void showWait(const std::string&) override {}
    void closeWait() override {}
    void openDocument(const std::string& path, uintptr_t ownerWindow) override;
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR, int) override { return std::nullopt; }
    std::optional<Font> fontDialog(const Font&, int) override { return std::nullopt; }
    void showReport(const std::string& report) override;
};

}  // namespace varnelo
