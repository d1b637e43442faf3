#include "varnelo/host.h"

namespace varnelo {

void DrawingSurface::scale(std::optional<float> x1, std::optional<float> y1,
                           std::optional<float> x2, std::optional<float> y2) {
    if (!x1 && !y1 && !x2 && !y2) {  // no arguments: back to twips
        scaleMode = 1;
        scaleLeft = scaleTop = 0;
        scaleWidth = static_cast<float>(width);
        scaleHeight = static_cast<float>(height);
        return;
    }
    scaleMode = 0;  // user scale
    if (x1) scaleLeft = *x1;
    if (y1) scaleTop = *y1;
    if (x2) scaleWidth = *x2 - scaleLeft;
    if (y2) scaleHeight = *y2 - scaleTop;
}

BagValue PropertyBag::ReadProperty(const std::string& key, const BagValue& defaultValue) const {
    auto it = values_.find(key);
    return it == values_.end() ? defaultValue : it->second;
}

void PropertyBag::WriteProperty(const std::string& key, const BagValue& value, const BagValue&) {
    values_[key] = value;
    order_.push_back(key);
}

}  // namespace varnelo
