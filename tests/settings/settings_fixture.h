// A control on a recording host with its settings file in a test folder,
// and the steps hosts take through its life.
#pragma once

#include <gtest/gtest.h>

#include "control/control_internals.h"
#include "panel/panel.h"
#include "support/test_support.h"
#include "varnelo/testing.h"
#include "varnelo/varnelo.h"

namespace varnelo::testing_settings {

// One control instance with its own host and desktop.
struct Instance {
    explicit Instance(const std::string& settingsDir) : control(host, desktop) {
        control.setSettingsDirectory(settingsDir);
        control.UserControl_Initialize();
    }
    // First placement (or a saved control's load), a resize, then shown.
    Instance& show(PropertyBag* saved = nullptr) {
        saved ? control.UserControl_ReadProperties(*saved) : control.UserControl_InitProperties();
        control.UserControl_Resize();
        control.UserControl_Show();
        return *this;
    }
    PropertyBag save() {
        PropertyBag bag;
        control.UserControl_WriteProperties(bag);
        return bag;
    }
    Panel& p() { return panelOf(control); }
    const VarneloSettings& s() const { return control.settings(); }

    RecordingHost host;
    RecordingDesktop desktop;
    Varnelo control;
};

class SettingsTest : public ::testing::Test {
protected:
    std::string ini() const { return dir.file("Varnelo.ini"); }
    std::unique_ptr<Instance> instance() { return std::make_unique<Instance>(dir.path().string()); }

    testing_support::TempDir dir;
};

}  // namespace varnelo::testing_settings
