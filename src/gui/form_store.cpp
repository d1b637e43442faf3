#include "varnelo/qt/form_store.h"

#include <filesystem>
#include <system_error>

#include "varnelo/bag_file.h"
#include "varnelo/qt/varnelo_widget.h"

namespace varnelo::qt {

bool FormStore::load(VarneloWidget& widget, std::string* problem) const {
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return false;
    PropertyBag bag;
    try {
        bag = readBagFile(path_);
    } catch (const Error& e) {
        const std::string aside = path_ + ".damaged";
        std::filesystem::rename(path_, aside, ec);
        if (problem)
            *problem = e.message() + (ec ? " (it could not be moved aside: " + ec.message() + ")"
                                         : " It was moved to " + aside + ".");
        return false;
    }
    widget.control().UserControl_ReadProperties(bag);
    widget.markPlaced();
    return true;
}

void FormStore::save(VarneloWidget& widget) const {
    PropertyBag bag;
    widget.control().UserControl_WriteProperties(bag);
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path_).parent_path();
    if (!folder.empty() && std::filesystem::create_directories(folder, ec))
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    writeBagFile(bag, path_);
}

}  // namespace varnelo::qt
