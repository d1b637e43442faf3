// Desktop: everything modal or top-level the control shows.
//
// The control never opens a window itself; it asks its Desktop for a message
// box, a dialog, the wait window or the report window, and to open a finished
// file in its application. The command-line host prints message boxes on
// standard error; the Qt host shows real windows; tests record the calls and
// answer dialogs with scripted values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "varnelo/font.h"

namespace varnelo {

// Message-box styles (icon and buttons), as the classic values.
namespace mb {
constexpr int kOkOnly = 0;
constexpr int kCritical = 16;
constexpr int kQuestion = 32;
constexpr int kExclamation = 48;
constexpr int kInformation = 64;
}  // namespace mb

struct FileDialogRequest {
    std::string filter;       // "Name (*.x)|*.x|..." pairs
    int filterIndex = 1;      // preselected entry, from 1
    std::string fileName;     // name the dialog starts with
};

class Desktop {
public:
    virtual ~Desktop() = default;

    // A modal message box with an OK button; returns the button pressed (1 OK).
    virtual int messageBox(const std::string& text, const std::string& title, int style) = 0;

    // The wait window ("Processing the data. Please wait ....."), not modal.
    virtual void showWait(const std::string& text) = 0;
    virtual void closeWait() = 0;

    // Opens a finished file in its associated application; the result is not
    // looked at by the control.
    virtual void openDocument(const std::string& path, uintptr_t ownerWindow) = 0;

    // Save-as dialog: the chosen path, or nothing when cancelled.
    virtual std::optional<std::string> saveFileDialog(const FileDialogRequest& request) = 0;
    // Colour dialog starting at `initial`: the chosen colour, or nothing.
    virtual std::optional<OLE_COLOR> colorDialog(OLE_COLOR initial) = 0;
    // Font dialog starting at `initial`: the chosen font, or nothing.
    virtual std::optional<Font> fontDialog(const Font& initial) = 0;

    // Shows an error report in its own window.
    virtual void showReport(const std::string& report) = 0;
};

// A Desktop that records every call and answers dialogs from scripted
// queues (an empty queue answers "cancelled"). For tests and headless hosts.
class RecordingDesktop : public Desktop {
public:
    struct Message { std::string text, title; int style; };
    std::vector<Message> messages;
    std::vector<std::string> calls;  // "showWait", "closeWait", "open:PATH", ...
    std::vector<std::optional<std::string>> fileAnswers;
    std::vector<std::optional<OLE_COLOR>> colorAnswers;
    std::vector<std::optional<Font>> fontAnswers;
    std::vector<std::string> reports;
    bool waitShown = false;

    int messageBox(const std::string& text, const std::string& title, int style) override {
        messages.push_back({text, title, style});
        calls.push_back("messageBox:" + title);
        return 1;
    }
    void showWait(const std::string&) override { waitShown = true; calls.push_back("showWait"); }
    void closeWait() override { waitShown = false; calls.push_back("closeWait"); }
    void openDocument(const std::string& path, uintptr_t) override { calls.push_back("open:" + path); }
    std::optional<std::string> saveFileDialog(const FileDialogRequest&) override {
        calls.push_back("saveFileDialog");
        return take(fileAnswers);
    }
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR) override {
        calls.push_back("colorDialog");
        return take(colorAnswers);
    }
    std::optional<Font> fontDialog(const Font&) override {
        calls.push_back("fontDialog");
        return take(fontAnswers);
    }
    void showReport(const std::string& report) override { reports.push_back(report); }

private:
    template <class T>
    static std::optional<T> take(std::vector<std::optional<T>>& q) {
        if (q.empty()) return std::nullopt;
        auto v = q.front();
        q.erase(q.begin());
        return v;
    }
};

}  // namespace varnelo
