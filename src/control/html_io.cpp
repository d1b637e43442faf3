// The control's HTML table writer.
#include "errors/hunt_err.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

void Varnelo::HtmlIO() {
    guard("Varnelo.HtmlIO", [&] {
        throw Error(err::kInvalidProcedureCall, "Varnelo",
                    "The HTML table format is not available in this build yet.");
    });
}

}  // namespace varnelo
