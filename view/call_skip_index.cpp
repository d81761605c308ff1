#include "view/call_skip_index.h"

#include "model/wrapping_math.h"

#include <algorithm>
#include <limits>

const CallSkipIndex::Blocks& CallSkipIndex::blocksOf(const TProcess& process, int64_t nodeShift) {
    const TFunc* data = process.calls.data();
    // Looked up without inserting first: a prepared index is only read.
    const auto found = blocks_.find(data);
    if (found != blocks_.end()) {
        const Blocks& b = found->second;
        if (b.data == data && b.count == process.calls.size() && b.shift == nodeShift &&
            !b.prefixMax.empty())
            return b;
    }
    Blocks& b = blocks_[data];
    b.data = data;
    b.count = process.calls.size();
    b.shift = nodeShift;
    b.prefixMax.assign((b.count + kBlock - 1) / kBlock, 0);
    b.blockMax.assign(b.prefixMax.size(), std::numeric_limits<int64_t>::min());
    int64_t running = std::numeric_limits<int64_t>::min();
    for (size_t i = 0; i < b.count; ++i) {
        const int64_t end = wrapAdd(process.calls[i].end, nodeShift);
        running = std::max(running, end);
        b.blockMax[i / kBlock] = std::max(b.blockMax[i / kBlock], end);
        if (i % kBlock == kBlock - 1 || i + 1 == b.count) b.prefixMax[i / kBlock] = running;
    }
    return b;
}

const CallSkipIndex::Blocks* CallSkipIndex::preparedBlocks(const TProcess& process,
                                                           int64_t nodeShift) const {
    const TFunc* data = process.calls.data();
    const auto found = blocks_.find(data);
    if (found == blocks_.end()) return nullptr;
    const Blocks& b = found->second;
    if (b.data != data || b.count != process.calls.size() || b.shift != nodeShift ||
        b.prefixMax.empty())
        return nullptr;
    return &b;
}

size_t CallSkipIndex::firstEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0) {
    if (process.calls.empty()) return 0;
    return firstIn(&blocksOf(process, nodeShift), process, nodeShift, t0);
}

size_t CallSkipIndex::firstEndingAtOrAfter(const TProcess& process, int64_t nodeShift,
                                           int64_t t0) const {
    if (process.calls.empty()) return 0;
    return firstIn(preparedBlocks(process, nodeShift), process, nodeShift, t0);
}

size_t CallSkipIndex::nextEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0,
                                          size_t from) {
    if (from >= process.calls.size()) return process.calls.size();
    return nextIn(&blocksOf(process, nodeShift), process, nodeShift, t0, from);
}

size_t CallSkipIndex::nextEndingAtOrAfter(const TProcess& process, int64_t nodeShift, int64_t t0,
                                          size_t from) const {
    if (from >= process.calls.size()) return process.calls.size();
    return nextIn(preparedBlocks(process, nodeShift), process, nodeShift, t0, from);
}

// Without blocks (b null) both walk call by call.
size_t CallSkipIndex::firstIn(const Blocks* b, const TProcess& process, int64_t nodeShift,
                              int64_t t0) {
    const size_t count = process.calls.size();
    size_t i = 0;
    if (b) {
        const auto block = std::partition_point(b->prefixMax.begin(), b->prefixMax.end(),
                                                [t0](int64_t m) { return m < t0; });
        if (block == b->prefixMax.end()) return count;
        // Every call of the earlier blocks ends before t0; one of this block does not.
        i = static_cast<size_t>(block - b->prefixMax.begin()) * kBlock;
    }
    while (i < count && wrapAdd(process.calls[i].end, nodeShift) < t0) ++i;
    return i;
}

size_t CallSkipIndex::nextIn(const Blocks* b, const TProcess& process, int64_t nodeShift,
                             int64_t t0, size_t from) {
    const size_t count = process.calls.size();
    size_t i = from;
    while (i < count) {
        if (b && b->blockMax[i / kBlock] < t0) { // the rest of this block ends before t0
            i = (i / kBlock + 1) * kBlock;
            continue;
        }
        if (wrapAdd(process.calls[i].end, nodeShift) >= t0) return i;
        ++i;
    }
    return count;
}
