#include "convert/call_names.h"

#include "appdb/func_names.h"
#include "format/tracer_calls.h"

#include <cstdio>

std::string exportedFuncName(uint32_t funcId) {
    static const TFuncNames fixed;
    const std::string& name = fixed.funcName(funcId);
    if (name != "Unknown") return name;
    for (const CallName& c : kOtherCallNames)
        if (c.id == funcId) return c.name;
    char text[32];
    std::snprintf(text, sizeof text, "MPI_Unknown_%X", funcId);
    return text;
}
