#include "otf2/per_trace_names.h"

#include "model/trace_model.h"

namespace otf2in {

uint32_t PerTraceNames::idAt(uint32_t k) {
    constexpr uint32_t kBase = 0x100000; // above the tracer's range
    constexpr uint32_t kReserved = kFuncWaitBit | kFuncMembersBit | kUnfinishedFlag | kBase;
    uint32_t id = kBase;
    for (uint32_t bit = 1; k != 0 && bit != 0; bit <<= 1) {
        if (kReserved & bit) continue;
        if (k & 1) id |= bit;
        k >>= 1;
    }
    return id;
}

uint32_t PerTraceNames::id(const std::string& name) {
    auto [it, fresh] = ids_.emplace(name, idAt(static_cast<uint32_t>(entries_.size())));
    if (fresh) entries_.emplace_back(it->second, name);
    return it->second;
}

} // namespace otf2in
