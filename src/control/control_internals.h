// In-tree access to the parts of the control that are not published.
//
// The settings panel is the control's own model of its widgets; hosts see it
// only through properties. Views, the scripted panel driver and the tests
// reach it here. Not installed.
#pragma once

#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

struct ControlInternals {
    static Panel& panel(Varnelo& control) { return *control.panel_; }
};

// The control's settings panel.
inline Panel& panelOf(Varnelo& control) { return ControlInternals::panel(control); }

}  // namespace varnelo
