#include "analysis/region_profile.h"

#include "analysis/id_table.h"
#include "analysis/scoped_calls.h"
#include "model/parallel_for.h"
#include "model/region_visits.h"
#include "model/trace_document.h"

#include <algorithm>
#include <map>
#include <unordered_map>

namespace {

struct SectionTotals {
    uint64_t visits = 0;
    int64_t inclusive = 0, exclusive = 0;
};

constexpr uint32_t kNone = UINT32_MAX;

// The visits of one process with the figures each gathers.
class VisitTree {
  public:
    VisitTree(const ScopedProcess& p, const AnalysisScope& scope,
              std::span<const TRegionVisit> visits)
        : p_(p), range_(scope.range), v_(visits) {
        const auto n = static_cast<uint32_t>(v_.size());
        parent_.resize(n, kNone);
        own_.resize(n);
        inclusive_.resize(n);
        outermost_.resize(n);
        std::vector<uint32_t> open;
        std::unordered_map<uint32_t, uint32_t> openOf; // section -> visits open
        for (uint32_t i = 0; i < n; ++i) {
            while (open.size() > v_[i].depth) {
                --openOf[v_[open.back()].section];
                open.pop_back();
            }
            if (!open.empty()) parent_[i] = open.back();
            outermost_[i] = openOf[v_[i].section]++ == 0;
            open.push_back(i);
            inclusive_[i] = timeIn(v_[i].enter, v_[i].leave);
            own_[i] = inclusive_[i];
            if (parent_[i] != kNone) own_[parent_[i]] = wrapSub(own_[parent_[i]], inclusive_[i]);
        }
    }

    bool empty() const { return v_.empty(); }

    // An MPI call (raw times): its time in the visit it starts in, less what
    // earlier calls of the process covered already (the parts of one
    // MPI_Sendrecv or MPI_Waitall span the same time).
    void subtractCall(int64_t start, int64_t end) {
        const uint32_t i = innermostAt(start);
        const int64_t lo = std::max(start, covered_);
        covered_ = std::max(covered_, end);
        if (i == kNone) return;
        const int64_t from = std::max(lo, v_[i].enter), to = std::min(end, v_[i].leave);
        if (to > from) own_[i] = wrapSub(own_[i], timeIn(from, to));
    }

    void addTo(IdTable<SectionTotals>& totals) const {
        for (uint32_t i = 0; i < v_.size(); ++i) {
            const TRegionVisit& v = v_[i];
            if (range_ && !range_->counts(corrected(v.enter), corrected(v.leave))) continue;
            SectionTotals& t = totals[v.section];
            ++t.visits;
            if (outermost_[i]) t.inclusive = wrapAdd(t.inclusive, inclusive_[i]);
            t.exclusive = wrapAdd(t.exclusive, std::max<int64_t>(0, own_[i]));
        }
    }

  private:
    int64_t corrected(int64_t raw) const { return wrapAdd(raw, p_.offset); }
    int64_t timeIn(int64_t from, int64_t to) const {
        return range_ ? range_->overlap(corrected(from), corrected(to)) : wrapSub(to, from);
    }

    // The innermost visit open at raw time t (entered at or before it, left
    // after it). Calls come in time order, so mostly it is the last one found.
    uint32_t innermostAt(int64_t t) {
        const uint32_t n = static_cast<uint32_t>(v_.size());
        const uint32_t h = hint_;
        if (h != kNone && v_[h].enter <= t && t < v_[h].leave &&
            (h + 1 == n || v_[h + 1].enter > t))
            return h;
        auto after =
            std::upper_bound(v_.begin(), v_.end(), t,
                             [](int64_t time, const TRegionVisit& v) { return time < v.enter; });
        uint32_t i = after == v_.begin() ? kNone : static_cast<uint32_t>(after - v_.begin() - 1);
        while (i != kNone && !(t < v_[i].leave)) i = parent_[i];
        return hint_ = i;
    }

    const ScopedProcess& p_;
    const std::optional<TimeRange>& range_;
    const std::span<const TRegionVisit> v_;
    std::vector<uint32_t> parent_;
    std::vector<int64_t> own_, inclusive_;
    std::vector<bool> outermost_;
    int64_t covered_ = INT64_MIN;
    uint32_t hint_ = kNone;
};

} // namespace

RegionProfile regionProfile(const TTrace& trace, const AnalysisScope& scope,
                            const TraceWindows* windows) {
    AnalysisScope everySection = scope;
    everySection.section = 0;
    const std::vector<ScopedProcess> procs = scopedProcesses(trace, everySection);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    std::vector<IdTable<SectionTotals>> tables(workers);
    std::vector<int64_t> runTimes(procs.size());
    parallelFor(workers, static_cast<uint32_t>(procs.size()), [&](unsigned w, uint32_t i) {
        runTimes[i] = scopedRunTime(procs[i], scope.range);
        // The windows keep the visits that would otherwise be found again
        // from every call at each range.
        const ProcessRegions* kept = windows ? windows->regionsOf(*procs[i].process) : nullptr;
        std::optional<ProcessRegions> made;
        const ProcessRegions& regions = kept ? *kept : made.emplace(*procs[i].process);
        VisitTree tree(procs[i], everySection, regions.visits());
        if (tree.empty()) return;
        forEachScopedCall(procs[i], everySection, windows, [&](const ScopedCall& c) {
            tree.subtractCall(c.call.start, c.call.end);
        });
        tree.addTo(tables[w]);
    });

    RegionProfile out;
    for (int64_t t : runTimes) out.runTimeSum = wrapAdd(out.runTimeSum, t);
    std::map<std::string, RegionFigures> byName; // sections that share a name share a row
    for (const auto& table : tables)
        table.forEach([&](uint32_t section, const SectionTotals& t) {
            RegionFigures& f = byName[trace.sectName(section)];
            f.visits += t.visits;
            f.inclusive = wrapAdd(f.inclusive, t.inclusive);
            f.exclusive = wrapAdd(f.exclusive, t.exclusive);
        });
    for (auto& [name, f] : byName) {
        f.name = name;
        out.regions.push_back(std::move(f));
    }
    std::stable_sort(out.regions.begin(), out.regions.end(), [](const auto& a, const auto& b) {
        if (a.exclusive != b.exclusive) return a.exclusive > b.exclusive;
        return a.inclusive > b.inclusive;
    });
    return out;
}
