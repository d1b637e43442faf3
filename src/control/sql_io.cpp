// The control's SQL writers: INSERT statements and SQL*Loader control files.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

void Varnelo::InsertIO() {
    guard("Varnelo.InsertIO", [&] {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The INSERT statement format is not available in this build yet.");
    });
}

void Varnelo::SQLLdrIO() {
    guard("Varnelo.SQLLdrIO", [&] {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The SQL*Loader format is not available in this build yet.");
    });
}

}  // namespace varnelo
