// What the control needs of the application that embeds it.
//
// ControlHost stands for the container the control lives in: it answers the
// ambient properties (UserMode, Font), receives the change notification
// (the key of the setting that changed, so the host knows to save the
// control's settings again), receives the control's events (Hide,
// InitProperties), owns the drawing surface and the window handle.
// PropertyBag is the host's store of one control's saved settings.
//
// All calls happen on the host's user-interface thread, one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "varnelo/export_macros.h"
#include "varnelo/font.h"
#include "varnelo/recordset.h"
#include "varnelo/variant.h"

namespace varnelo {

// The control's drawing surface: size, scale and enabled state. The control
// keeps itself at 5295 x 7050 twips and passes the scale properties through.
struct VARNELO_EXPORT DrawingSurface {
    double width = 5295;
    double height = 7050;
    int16_t scaleMode = 1;  // twips
    float scaleHeight = 7050;
    float scaleLeft = 0;
    float scaleTop = 0;
    float scaleWidth = 5295;
    bool enabled = true;
    int repaints = 0;

    // The classic Scale method: with all four values the user scale runs from
    // (x1, y1) at the top left to (x2, y2) at the bottom right; with none the
    // scale returns to twips. Missing values in between keep what they give.
    void scale(std::optional<float> x1, std::optional<float> y1,
               std::optional<float> x2, std::optional<float> y2);
    void refresh() { ++repaints; }
};

class VARNELO_EXPORT ControlHost {
public:
    virtual ~ControlHost() = default;

    // Ambient properties.
    virtual bool userMode() const = 0;
    virtual FontPtr ambientFont() const = 0;

    // The control's persisted state changed under `key`.
    virtual void propertyChanged(const std::string& key) = 0;
    // The control raises one of its events ("Hide", "InitProperties").
    virtual void raiseEvent(const std::string& name) = 0;

    virtual DrawingSurface& surface() = 0;
    virtual uintptr_t windowHandle() const = 0;
};

// A value a property bag holds: a plain value, a font or a record source.
using BagValue = std::variant<Variant, FontPtr, RecordsetPtr>;

// The host's store of named values for one control, in memory.
class VARNELO_EXPORT PropertyBag {
public:
    // The value stored under key, or `defaultValue` when there is none.
    BagValue ReadProperty(const std::string& key, const BagValue& defaultValue) const;
    // Stores value under key. A later write of the same key replaces the
    // earlier one; values equal to their default are stored all the same.
    void WriteProperty(const std::string& key, const BagValue& value, const BagValue& defaultValue);

    bool contains(const std::string& key) const { return values_.count(key) != 0; }
    const std::vector<std::string>& writeOrder() const { return order_; }

private:
    std::map<std::string, BagValue> values_;
    std::vector<std::string> order_;
};

}  // namespace varnelo
