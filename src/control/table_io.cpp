// The control's table writers: HTML tables and Excel workbooks.
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

void Varnelo::HtmlIO() {
    guard("Varnelo.HtmlIO", [&] {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The HTML table format is not available in this build yet.");
    });
}

}  // namespace varnelo
