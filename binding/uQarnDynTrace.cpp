// The call trace: what the binding tells a host's tracer of each library call.
#include "uQarnDynCall.h"

#include <cstdio>

namespace qarn::dyn {

TQarnCallTracer gTracer = nullptr;

std::string Arguments(const char *device)
{
    return device ? "(\"" + std::string(device) + "\")" : std::string("(null)");
}
std::string Arguments(uint8_t mode) { return "(" + std::to_string(mode) + ")"; }
std::string Arguments(uint16_t length) { return "(" + std::to_string(length) + ")"; }
std::string Arguments(int16_t code) { return "(" + std::to_string(code) + ")"; }
std::string Arguments(uint32_t settings)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "(0x%02X)", static_cast<unsigned>(settings));
    return hex;
}

} // namespace qarn::dyn

void DynSetCallTracer(TQarnCallTracer tracer) { qarn::dyn::gTracer = tracer; }
