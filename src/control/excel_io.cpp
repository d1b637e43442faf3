// The control's Excel workbook writer.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

void Varnelo::ExcelIO() {
    guard("Varnelo.ExcelIO", [&] {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The Excel workbook format is not available in this build yet.");
    });
}

}  // namespace varnelo
