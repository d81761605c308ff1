#include "model/region_visits.h"

#include <algorithm>

void nestRegionVisits(std::vector<TRegionVisit>& visits) {
    std::vector<size_t> open;  // indices of the visits around the next one
    int64_t floor = INT64_MIN; // the previous sibling's leave, or the parent's enter
    for (size_t i = 0; i < visits.size(); ++i) {
        TRegionVisit& v = visits[i];
        v.depth = std::min<uint32_t>(v.depth, static_cast<uint32_t>(open.size()));
        while (open.size() > v.depth) {
            floor = visits[open.back()].leave;
            open.pop_back();
        }
        int64_t ceiling = INT64_MAX;
        if (!open.empty()) {
            const TRegionVisit& parent = visits[open.back()];
            floor = std::max(floor, parent.enter);
            ceiling = parent.leave;
        }
        v.enter = std::clamp(v.enter, floor, ceiling);
        v.leave = std::clamp(v.leave, v.enter, ceiling);
        open.push_back(i);
        // A first child starts from its parent's entry.
        floor = v.enter;
    }
}

std::vector<TRegionVisit> visitsFromMarkers(const TProcess& p) {
    std::vector<TRegionVisit> out;
    if (p.calls.empty()) return out;
    uint32_t current = 0;
    int64_t at = INT64_MIN; // marker times kept in order
    for (const TFunc& f : p.calls) {
        if (!f.isSectionMarker() || f.location == current) continue;
        at = std::max(at, f.start);
        if (current != 0) out.back().leave = at;
        current = f.location;
        if (current != 0) out.push_back({at, at, current, 0});
    }
    if (current != 0) out.back().leave = std::max(at, p.calls.back().end);
    return out;
}

ProcessRegions::ProcessRegions(const TProcess& p) {
    if (!p.regions.empty()) {
        visits_ = p.regions;
        return;
    }
    fromMarkers_ = visitsFromMarkers(p);
    visits_ = fromMarkers_;
}
