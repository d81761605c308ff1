// Filing every receiving call under the sender it names (see link_candidates.h).

#include "model/link_candidates.h"

#include "model/link_parts.h"
#include "model/link_store.h"
#include "model/memory_advice.h"
#include "model/parallel_work.h"
#include "model/rank_positions.h"
#include "model/receiver_counts.h"
#include "model/tag_matcher.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <span>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace link_build {

namespace {

// What one contiguous range of receivers contributes to the index. A cache
// line of its own: each worker grows its scan's lists all the time.
struct alignas(64) ReceiverScan {
    uint32_t begin = 0, end = 0;
    std::vector<uint64_t> explicitCount; // per sender; in the filing pass, where the next goes
    std::vector<CandidateIndex::Group> groups;
    std::vector<uint32_t> groupCalls;
    // The explicit candidates met by the counting pass, (call, sender rank),
    // receivers ascending, and where each receiver's end: filing them needs
    // neither the calls nor their communicators again.
    std::vector<std::pair<uint32_t, uint32_t>> singles;
    std::vector<size_t> singlesEnd; // per receiver of the range
};

// Walks the candidates of the scan's receivers: counts explicit candidates
// per sender, keeps them, and builds the groups.
void scanReceivers(const std::vector<TProcess>& procs, const std::vector<CommLookup>& lookups,
                   const RankPositions& positions, ReceiverScan& scan) {
    std::vector<std::pair<uint32_t, uint32_t>> wideOfReceiver; // (group, call)
    std::unordered_map<uint64_t, uint32_t> groupOfSet;         // (view, kind) -> group
    scan.singlesEnd.reserve(scan.end - scan.begin);
    // Each call is at most one candidate: room for all, used as needed.
    const auto calls =
        static_cast<size_t>(callCount(std::span(procs).subspan(scan.begin, scan.end - scan.begin)));
    reserveUpTo(scan.singles, calls);
    reserveUpTo(scan.groupCalls, calls);
    for (uint32_t i = scan.begin; i < scan.end; ++i) {
        const TProcess& receiver = procs[i];
        const CommLookup& lookup = lookups[i];
        const auto ownRank = static_cast<int32_t>(receiver.rank);
        wideOfReceiver.clear();
        groupOfSet.clear();
        for (uint32_t k = 0; k < receiver.calls.size(); ++k) {
            __builtin_prefetch(receiver.calls.data() + k + kCallsAhead);
            const TFunc& r = receiver.calls[k];
            if (!isCandidate(r)) continue;
            const Partners senders = candidateSenders(lookup, r, k, ownRank);
            if (senders.kind == Partners::Single) {
                scan.singles.push_back({k, senders.rank});
                positions.forEach(senders.rank, [&](uint32_t j) {
                    if (j != i) ++scan.explicitCount[j];
                });
            } else if (senders.kind != Partners::None) {
                const uint64_t set = uint64_t{senders.view} << 8 | senders.kind;
                const auto [it, added] =
                    groupOfSet.try_emplace(set, static_cast<uint32_t>(scan.groups.size()));
                if (added) scan.groups.push_back({i, senders, 0, 0});
                wideOfReceiver.push_back({it->second, k});
            }
        }
        scan.singlesEnd.push_back(scan.singles.size());
        if (wideOfReceiver.empty()) continue;
        std::stable_sort(wideOfReceiver.begin(), wideOfReceiver.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t w = 0; w < wideOfReceiver.size(); ++w) {
            auto& group = scan.groups[wideOfReceiver[w].first];
            if (w == 0 || wideOfReceiver[w - 1].first != wideOfReceiver[w].first)
                group.callsBegin = static_cast<uint32_t>(scan.groupCalls.size());
            scan.groupCalls.push_back(wideOfReceiver[w].second);
            group.callsEnd = static_cast<uint32_t>(scan.groupCalls.size());
        }
    }
}

} // namespace

CandidateIndex indexCandidates(const std::vector<TProcess>& procs,
                               const std::vector<CommLookup>& lookups,
                               const RankPositions& positions, unsigned workers) {
    const auto n = static_cast<uint32_t>(procs.size());
    CandidateIndex index;
    index.explicitStart.assign(size_t{n} + 1, 0);
    index.wideStart.assign(size_t{n} + 1, 0);

    // One scan per worker over a contiguous range of receivers; each sender's
    // candidates then come out range by range, so receivers stay ascending.
    const std::vector<uint32_t> rangeStart = rangesByCalls(procs, workers);
    std::vector<ReceiverScan> scans(workers);
    for (unsigned r = 0; r < workers; ++r) {
        scans[r].begin = rangeStart[r];
        scans[r].end = rangeStart[r + 1];
        scans[r].explicitCount.assign(n, 0);
    }
    parallelFor(workers, workers,
                [&](unsigned, uint32_t r) { scanReceivers(procs, lookups, positions, scans[r]); });

    for (uint32_t j = 0; j < n; ++j) {
        uint64_t at = index.explicitStart[j];
        for (ReceiverScan& scan : scans) {
            const uint64_t count = scan.explicitCount[j];
            scan.explicitCount[j] = at;
            at += count;
        }
        index.explicitStart[j + 1] = at;
    }
    size_t groups = 0, groupCalls = 0;
    for (const ReceiverScan& scan : scans) {
        groups += scan.groups.size();
        groupCalls += scan.groupCalls.size();
    }
    reserveFresh(index.groups, groups);
    reserveFresh(index.groupCalls, groupCalls);
    for (ReceiverScan& scan : scans) {
        const auto base = static_cast<uint32_t>(index.groupCalls.size());
        for (CandidateIndex::Group& g : scan.groups) {
            g.callsBegin += base;
            g.callsEnd += base;
            index.groups.push_back(g);
        }
        index.groupCalls.insert(index.groupCalls.end(), scan.groupCalls.begin(),
                                scan.groupCalls.end());
        std::vector<CandidateIndex::Group>().swap(scan.groups);
        std::vector<uint32_t>().swap(scan.groupCalls);
    }

    // About a sixteenth of the entries per chunk, at least a million.
    const uint64_t chunkSize = std::max<uint64_t>(index.explicitStart[n] / 16, 1 << 20);
    index.chunkOfSender.resize(n);
    for (uint32_t j = 0; j < n; ++j) {
        if (index.chunks.empty() || index.explicitStart[j] - index.chunks.back().base >= chunkSize)
            index.chunks.push_back({j, index.explicitStart[j], nullptr});
        index.chunkOfSender[j] = static_cast<uint32_t>(index.chunks.size() - 1);
        index.chunks.back().senderEnd = j + 1;
    }
    // Their pages are faulted in on both workers, chunk by chunk.
    parallelFor(workers, static_cast<uint32_t>(index.chunks.size()), [&](unsigned, uint32_t c) {
        CandidateIndex::Chunk& chunk = index.chunks[c];
        const size_t size = index.explicitStart[chunk.senderEnd] - chunk.base;
        chunk.calls.reset(new CandidateIndex::Explicit[size]);
        adviseHugePages(chunk.calls.get(), size * sizeof chunk.calls[0]);
        prefaultForWriting(chunk.calls.get(), size * sizeof chunk.calls[0]);
    });
    // The kept candidates filed per sender, receivers ascending.
    parallelFor(workers, workers, [&](unsigned, uint32_t r) {
        ReceiverScan& scan = scans[r];
        size_t x = 0;
        for (uint32_t i = scan.begin; i < scan.end; ++i) {
            for (const size_t end = scan.singlesEnd[i - scan.begin]; x < end; ++x) {
                const uint32_t k = scan.singles[x].first;
                positions.forEach(scan.singles[x].second, [&](uint32_t j) {
                    if (j != i) index.slot(j, scan.explicitCount[j]++) = {i, k};
                });
            }
        }
        std::vector<std::pair<uint32_t, uint32_t>>().swap(scan.singles);
        std::vector<size_t>().swap(scan.singlesEnd);
    });

    // File each group under every sender it names, receivers ascending.
    auto forEachNamed = [&](auto&& fn) {
        for (uint32_t g = 0; g < index.groups.size(); ++g) {
            const CandidateIndex::Group& group = index.groups[g];
            forEachInSet(lookups[group.receiver], group.senders, procs, positions, [&](uint32_t j) {
                if (j != group.receiver) fn(j, group.receiver, g);
            });
        }
    };
    forEachNamed([&](uint32_t j, uint32_t, uint32_t) { ++index.wideStart[j + 1]; });
    for (uint32_t j = 0; j < n; ++j) index.wideStart[j + 1] += index.wideStart[j];
    reserveFresh(index.wideGroups, index.wideStart[n]);
    index.wideGroups.resize(index.wideStart[n]);
    std::vector<uint64_t> fill(index.wideStart.begin(), index.wideStart.end() - 1);
    forEachNamed([&](uint32_t j, uint32_t i, uint32_t g) { index.wideGroups[fill[j]++] = {i, g}; });
    return index;
}

} // namespace link_build
