#include "convert/call_names.h"

#include "appdb/func_names.h"
#include "format/tracer_calls.h"
#include "model/trace_document.h"

#include <cstdio>

std::string exportedFuncName(const TTrace& trace, uint32_t funcId) {
    static const TFuncNames fixed;
    const std::string& name = fixed.funcName(funcId);
    if (name != "Unknown") return name;
    for (const CallName& c : kOtherCallNames)
        if (c.id == funcId) return c.name;
    if (auto own = trace.functionNames.find(funcId); own != trace.functionNames.end())
        return own->second;
    char text[32];
    std::snprintf(text, sizeof text, "MPI_Unknown_%X", funcId);
    return text;
}
