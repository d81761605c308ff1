#include "view/call_blocks.h"

#include "format/func_ids.h"

#include <algorithm>

const CallBlocks::ProcessBlocks& CallBlocks::prepare(const TProcess& process) {
    if (const ProcessBlocks* kept = of(process)) return *kept;
    const TCallList& calls = process.calls;
    ProcessBlocks& p = processes_[calls.data()];
    p.data = calls.data();
    p.count = calls.size();
    p.blocks.assign((calls.size() + kSize - 1) / kSize, Block{});
    for (size_t k = 0; k < p.blocks.size(); ++k) {
        Block& b = p.blocks[k];
        b.lo = INT64_MAX;
        b.hi = INT64_MIN;
        b.plain = true;
        uint64_t links = 0;
        for (size_t i = k * kSize; i < std::min(calls.size(), (k + 1) * kSize); ++i) {
            const TFunc& f = calls[i];
            b.lo = std::min({b.lo, f.start, f.end});
            b.hi = std::max({b.hi, f.start, f.end});
            b.plain = b.plain && f.funcId != kFuncInstantMark && !(f.funcId & kUnfinishedFlag);
            links += f.linkCount;
        }
        // A sum beyond 32 bits (only a made-up file has one) keeps the block
        // from being passed over rather than widening every block.
        if (links > UINT32_MAX) b.plain = false;
        b.linkSum = static_cast<uint32_t>(links);
    }
    return p;
}

const CallBlocks::ProcessBlocks* CallBlocks::of(const TProcess& process) const {
    const auto found = processes_.find(process.calls.data());
    if (found == processes_.end()) return nullptr;
    const ProcessBlocks& p = found->second;
    if (p.data != process.calls.data() || p.count != process.calls.size()) return nullptr;
    return &p;
}
