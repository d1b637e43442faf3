// The control object: creation. Its life in the host is in settings/.
#include "varnelo/varnelo.h"

#include "panel/panel.h"
#include "platform/system.h"

namespace varnelo {

Varnelo::Varnelo(ControlHost& host, Desktop& desktop)
    : host_(host), desktop_(desktop), panel_(std::make_unique<Panel>()) {
    wirePanel();
    settingsDirectory_ = platform::userSettingsFolder();
}

Varnelo::~Varnelo() = default;

}  // namespace varnelo
