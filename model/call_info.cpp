#include "model/call_info.h"

#include "model/trace_document.h"

#include <cstdio>
#include <vector>

std::string callInfoText(const TTrace& trace, uint32_t position, const TFunc& call) {
    const std::string file = trace.fileName(call.location >> 16);
    const std::string node = trace.nodeNameAt(position);
    const std::string& function = trace.funcName(call.funcId & ~kUnfinishedFlag);
    const int line = static_cast<int>(call.location & 0xFFFF);

    std::vector<char> text(file.size() + node.size() + function.size() + 96);
    std::snprintf(text.data(), text.size(), "File: %s\nLine: %d\nNode: %s\nRank: %d\nFunction: %s",
                  file.c_str(), line, node.c_str(), trace.rankAt(position), function.c_str());
    return text.data();
}
