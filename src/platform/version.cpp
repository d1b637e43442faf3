#include "varnelo/version.h"

namespace varnelo {

const char* version() noexcept { return VARNELO_VERSION; }

}  // namespace varnelo
