// FormStore: a host's form kept in a property-bag file between runs.
//
// load() before the widget is first shown puts the saved settings into the
// control (and marks it placed, so the first show does not reset them);
// save() writes the control's property bag back, with permissions 0600 since
// it holds the mail password. A file that cannot be read is moved aside to
// PATH.damaged, so the next save cannot overwrite what a person may want to
// look at, and load() says so. Errors of save() are varnelo::Error naming the
// file.
#pragma once

#include <string>

namespace varnelo::qt {

class VarneloWidget;

class FormStore {
public:
    explicit FormStore(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    // True when settings were loaded; false for a first run. `problem` gets
    // the reason a file that was there could not be used.
    bool load(VarneloWidget& widget, std::string* problem = nullptr) const;
    void save(VarneloWidget& widget) const;

private:
    std::string path_;
};

}  // namespace varnelo::qt
