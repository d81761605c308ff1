#include "appdb/call_info.h"

#include "appdb/func_names.h"
#include "appdb/node_address.h"
#include "model/trace_document.h"

#include <cstdio>
#include <vector>

std::string callInfoText(const TTrace& trace, uint32_t position, const TFunc& call) {
    const TFuncNames names;
    const std::string file = trace.fileName(call.location >> 16);
    const std::string node = dottedNodeId(trace.nodeIdAt(position));
    const std::string& function = names.funcName(call.funcId & ~kUnfinishedFlag);
    const int line = static_cast<int>(call.location & 0xFFFF);

    std::vector<char> text(file.size() + node.size() + function.size() + 96);
    std::snprintf(text.data(), text.size(), "File: %s\nLine: %d\nNode: %s\nRank: %d\nFunction: %s",
                  file.c_str(), line, node.c_str(), trace.rankAt(position), function.c_str());
    return text.data();
}
