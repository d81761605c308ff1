// Index tables of one process's communicators.

#include "model/comm_lookup.h"

#include <functional>

CommLookup::CommLookup(const TProcess& p) : process_(p), localRanks_(p.comms.size()) {
    byId_.reserve(p.comms.size());
    for (uint32_t c = 0; c < p.comms.size(); ++c) {
        const TComm& comm = p.comms[c];
        byId_.push_back({comm.id, c});
        if (comm.id == kWorldComm || comm.id == kSelfComm) continue;
        const uint32_t* m = comm.members.data();
        const size_t count = listed(comm);
        // Member lists in ascending order (the usual case) are searched as they
        // are; others get a sorted table of each member's first local rank.
        if (comm.members.ascending() ||
            std::adjacent_find(m, m + count, std::greater_equal<uint32_t>()) == m + count)
            continue;
        auto& table = localRanks_[c];
        table.reserve(count);
        for (uint32_t k = 0; k < count; ++k) table.push_back({m[k], k});
        std::stable_sort(table.begin(), table.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        table.erase(std::unique(table.begin(), table.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    table.end());
    }
    std::sort(byId_.begin(), byId_.end());
    deadPrefix_.assign(byId_.size(), 0);
    lastQuery_.assign(byId_.size(), 0);
}
