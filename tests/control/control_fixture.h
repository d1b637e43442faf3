// A control placed for the first time on a recording host and shown, its records emptied, ready for one test.
#pragma once

#include <gtest/gtest.h>

#include <stdexcept>

#include "control/control_internals.h"
#include "panel/panel.h"
#include "support/test_support.h"
#include "varnelo/testing.h"
#include "varnelo/varnelo.h"

namespace varnelo::testing_control {

class ControlTest : public ::testing::Test {
protected:
    ControlTest() : control(host, desktop) {
        control.UserControl_Initialize(), control.UserControl_InitProperties(), control.UserControl_Show(), forget();
    }
    void forget() { host.changes.clear(), desktop.messages.clear(), desktop.calls.clear(); }
    Panel& p() { return panelOf(control); }
    template <class W = ui::Widget>
    W& widget(const std::string& name) {  // a panel widget by its full name, "chkOption(8)"
        ui::Widget* found = nullptr;
        p().forEachWidget([&](ui::Widget& w) { found = w.fullName() == name ? &w : found; });
        if (!found) throw std::invalid_argument("no widget " + name);
        return dynamic_cast<W&>(*found);
    }
    std::vector<std::string> shown() const {  // the message boxes, one "title: text (style)" each
        std::vector<std::string> out;
        for (const auto& m : desktop.messages) out.push_back(m.title + ": " + m.text + " (" + std::to_string(m.style) + ")");
        return out;
    }

    RecordingHost host;
    RecordingDesktop desktop;
    Varnelo control;
};

using testing_support::errorOf;

// The method names of the report's call-stack lines, innermost first.
inline std::vector<std::string> callStack(const std::string& report) {
    std::vector<std::string> methods;
    const std::string marker = "  Call Stack: ";
    for (size_t at = report.find(marker); at != std::string::npos; at = report.find(marker, at + 1))
        methods.push_back(report.substr(at + marker.size(), report.find('(', at) - at - marker.size()));
    return methods;
}

}  // namespace varnelo::testing_control
