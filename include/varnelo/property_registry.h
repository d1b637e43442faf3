// The control's type library: every published property with its name, type
// and description, readable and writable by name.
//
// Hosts that configure the control from text (the command-line host, a
// settings dialog) go through the registry; values travel as BagValue (a
// Variant, a font or a record source). Writing converts the value to the
// property's type: numbers from numeric text, colours also from "0x"/"&H"
// hexadecimal, fonts also from "Name,Size[,bold][,italic]", Booleans from
// True/False/1/0. A value that does not convert fails with Error 13 (type
// mismatch) naming the property; an unknown name fails with Error 438.
#pragma once

#include <string>
#include <vector>

#include "varnelo/export_macros.h"
#include "varnelo/host.h"

namespace varnelo {

class Varnelo;

struct PropertyInfo {
    std::string name;         // as published, e.g. "InsertTable"
    std::string type;         // "String", "Long", "edSelYesNo", "OLE_COLOR", "Font", ...
    std::string description;  // the published description, or ""
    bool readOnly = false;
};

class VARNELO_EXPORT PropertyRegistry {
public:
    // Every published property, in the order of the published interface.
    static const std::vector<PropertyInfo>& all();
    // Case-insensitive, as the classic type library; nullptr when unknown.
    static const PropertyInfo* find(const std::string& name);

    static BagValue get(Varnelo& control, const std::string& name);
    static void set(Varnelo& control, const std::string& name, const BagValue& value);

    // Text form of a value for listings ("0x00400000" for colours, fonts as
    // "Name,Size[,bold][,italic]").
    static std::string toText(const PropertyInfo& info, const BagValue& value);
};

// "Name,Size[,bold][,italic]" -> font; throws Error 13 on a bad text.
VARNELO_EXPORT FontPtr parseFontText(const std::string& text);

}  // namespace varnelo
