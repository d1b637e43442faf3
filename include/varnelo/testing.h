// Test doubles for the control's two host interfaces.
//
// RecordingHost and RecordingDesktop record every call the control makes and
// answer from plain fields and scripted queues, so a host's own tests can
// drive the control and check what it showed and announced. Header-only; not
// meant as a production host's parts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "varnelo/desktop.h"
#include "varnelo/font.h"
#include "varnelo/host.h"

namespace varnelo {

// A host that records what the control tells it: for tests, and for simple
// hosts (the command-line host) that only need the notifications listed. Ambient values are plain fields.
class RecordingHost : public ControlHost {
public:
    bool runMode = true;
    FontPtr font = makeFont("Sans Serif", 8.25);
    std::vector<std::string> changes;  // every change key, in order
    std::vector<std::string> events;   // every event raised, in order
    DrawingSurface drawing;
    uintptr_t hwnd = 0;

    bool userMode() const override { return runMode; }
    FontPtr ambientFont() const override { return font; }
    void propertyChanged(const std::string& key) override {
        changes.push_back(key);
    }
    void raiseEvent(const std::string& name) override { events.push_back(name); }
    DrawingSurface& surface() override { return drawing; }
    uintptr_t windowHandle() const override { return hwnd; }
};

// A Desktop that records every call and answers dialogs from scripted
// queues (an empty queue answers "cancelled"). For tests; a host without a
// screen uses HeadlessDesktop (desktop.h).
class RecordingDesktop : public Desktop {
public:
    struct Message { std::string text, title; int style; };
    std::vector<Message> messages;
    std::vector<std::string> calls;  // "showWait", "closeWait", "open:PATH", ...
    std::vector<std::optional<std::string>> fileAnswers;
    std::vector<std::optional<OLE_COLOR>> colorAnswers;
    std::vector<std::optional<Font>> fontAnswers;
    // What the dialogs were handed, one entry per dialog.
    struct ColorRequest { OLE_COLOR initial; int flags; };
    struct FontRequest { Font initial; int flags; };
    std::vector<FileDialogRequest> fileRequests;
    std::vector<ColorRequest> colorRequests;
    std::vector<FontRequest> fontRequests;
    // The report window: every report handed over, and how often it opened.
    std::vector<std::string> reports;
    bool reportOpen = false;
    int reportOpenings = 0;
    bool waitShown = false;

    int messageBox(const std::string& text, const std::string& title, int style) override {
        messages.push_back({text, title, style});
        calls.push_back("messageBox:" + title);
        return 1;
    }
    void showWait(const std::string&) override { waitShown = true; calls.push_back("showWait"); }
    void closeWait() override { waitShown = false; calls.push_back("closeWait"); }
    void openDocument(const std::string& path, uintptr_t) override { calls.push_back("open:" + path); }
    std::optional<std::string> saveFileDialog(const FileDialogRequest& request) override {
        calls.push_back("saveFileDialog");
        fileRequests.push_back(request);
        return take(fileAnswers);
    }
    std::optional<OLE_COLOR> colorDialog(OLE_COLOR initial, int flags) override {
        calls.push_back("colorDialog");
        colorRequests.push_back({initial, flags});
        return take(colorAnswers);
    }
    std::optional<Font> fontDialog(const Font& initial, int flags) override {
        calls.push_back("fontDialog");
        fontRequests.push_back({initial, flags});
        return take(fontAnswers);
    }
    void showReport(const std::string& report) override {
        calls.push_back("showReport");
        reports.push_back(report);
        if (!reportOpen) ++reportOpenings;
        reportOpen = true;
    }

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
