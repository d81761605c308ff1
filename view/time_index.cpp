#include "view/time_index.h"

#include "model/trace_document.h"
#include "model/wrapping_math.h"
#include "view/row_layout.h"

int64_t TimeIndex::shiftAt(uint32_t position) const {
    const int64_t node = trace_.nodeIndexAt(position);
    return node < 0 ? 0 : trace_.nodeOffset(static_cast<uint32_t>(node));
}

size_t TimeIndex::firstEndingAtOrAfter(uint32_t position, int64_t t) {
    const TProcess* p = trace_.processAt(position);
    return p ? skips_.firstEndingAtOrAfter(*p, shiftAt(position), t) : 0;
}

size_t TimeIndex::nextEndingAtOrAfter(uint32_t position, int64_t t, size_t from) {
    const TProcess* p = trace_.processAt(position);
    return p ? skips_.nextEndingAtOrAfter(*p, shiftAt(position), t, from) : 0;
}

std::vector<size_t> TimeIndex::callsOverlapping(uint32_t position, int64_t t0, int64_t t1) {
    std::vector<size_t> found;
    const TProcess* p = trace_.processAt(position);
    if (!p) return found;
    const int64_t shift = shiftAt(position);
    const TCallList& calls = p->calls;
    for (size_t i = firstEndingAtOrAfter(position, t0); i < calls.size();
         i = nextEndingAtOrAfter(position, t0, i + 1)) {
        if (wrapAdd(calls[i].start, shift) > t1) break;
        found.push_back(i);
    }
    return found;
}

std::optional<size_t> TimeIndex::callAt(uint32_t position, int64_t t) {
    const TProcess* p = trace_.processAt(position);
    if (!p) return std::nullopt;
    const int64_t shift = shiftAt(position);
    const TCallList& calls = p->calls;
    for (size_t i = firstEndingAtOrAfter(position, t); i < calls.size();
         i = nextEndingAtOrAfter(position, t, i + 1)) {
        const int64_t s = wrapAdd(calls[i].start, shift);
        if (s > t) break;
        return i; // ends at or after t and starts at or before it
    }
    return std::nullopt;
}

std::vector<TimeIndex::LinkRef> TimeIndex::linksEndingInRows(uint32_t position, size_t firstCall,
                                                             size_t endCall, uint32_t firstPartner,
                                                             uint32_t lastPartner) const {
    std::vector<LinkRef> found;
    const TProcess* p = trace_.processAt(position);
    if (!p) return found;
    const RankIndex ranks(trace_);
    const TCallList& calls = p->calls;
    for (size_t i = firstCall; i < std::min(endCall, calls.size()); ++i) {
        uint32_t k = 0;
        for (const TLink& link : calls[i].linkSpan()) {
            const std::optional<uint32_t> partner = ranks.positionOf(link.rank);
            if (link.recv && partner && *partner >= firstPartner && *partner <= lastPartner)
                found.push_back({i, k, *partner});
            ++k;
        }
    }
    return found;
}
