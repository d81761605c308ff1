#include "analysis/analysis_tables.h"

#include "appdb/func_names.h"

#include <cstdio>
#include <memory>

namespace {

using Cells = std::vector<std::string>;

std::string num(int64_t v) {
    return std::to_string(v);
}
std::string num(uint64_t v) {
    return std::to_string(v);
}

std::string twoDecimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

const std::string& functionName(uint32_t id) {
    static const TFuncNames names;
    return names.funcName(id);
}

// A table over rows of any type, the rows kept alive by the table; a row
// past the end has empty cells, as in the statistics tables.
template <typename Row, typename Fn>
StatTable rowsTable(Cells labels, std::vector<Row> rows, Fn cellsOf) {
    StatTable t;
    t.columnLabels = std::move(labels);
    t.rowCount = static_cast<uint32_t>(rows.size());
    auto kept = std::make_shared<const std::vector<Row>>(std::move(rows));
    t.rowCells = [kept, cellsOf, columns = t.columnLabels.size()](uint32_t r) -> Cells {
        return r < kept->size() ? cellsOf((*kept)[r]) : Cells(columns);
    };
    return t;
}

Cells waitCells(const WaitTotals& t, int64_t runTimeSum) {
    return {num(t.instances), num(t.waiting), num(t.wait), num(t.max),
            sharePercent(t.wait, runTimeSum)};
}

const Cells kWaitColumns = {"Instances", "Waiting", "Wait [us]", "Max [us]", "Wait [%]"};

Cells withWaitColumns(Cells first) {
    first.insert(first.end(), kWaitColumns.begin(), kWaitColumns.end());
    return first;
}

Cells prepend(Cells first, Cells rest) {
    first.insert(first.end(), std::make_move_iterator(rest.begin()),
                 std::make_move_iterator(rest.end()));
    return first;
}

} // namespace

std::string sharePercent(int64_t part, int64_t whole) {
    if (whole == 0) return {};
    return twoDecimals(static_cast<double>(part) / static_cast<double>(whole) * 100.0);
}

StatTable profileByFunctionTable(Profile profile) {
    struct Row {
        const FunctionFigures* f; // nullptr: the row outside MPI
    };
    auto kept = std::make_shared<const Profile>(std::move(profile));
    std::vector<Row> rows;
    for (const FunctionFigures& f : kept->functions) rows.push_back({&f});
    rows.push_back({nullptr});
    return rowsTable(
        {"Function", "Id", "Calls", "Total [us]", "Mean [us]", "Min [us]", "Max [us]", "Total [%]"},
        std::move(rows), [kept](const Row& row) -> Cells {
            const int64_t whole = kept->runTimeSum;
            if (!row.f)
                return {"(outside MPI)",
                        "",
                        "",
                        num(kept->outsideSum),
                        "",
                        "",
                        "",
                        sharePercent(kept->outsideSum, whole)};
            const FunctionFigures& f = *row.f;
            return {functionName(f.funcId),
                    num(uint64_t{f.funcId}),
                    num(f.calls),
                    num(f.total),
                    twoDecimals(static_cast<double>(f.total) / static_cast<double>(f.calls)),
                    num(f.min),
                    num(f.max),
                    sharePercent(f.total, whole)};
        });
}

StatTable profileByRankTable(Profile profile) {
    return rowsTable({"Rank", "Time [us]", "MPI [us]", "Outside [us]", "MPI [%]"},
                     std::move(profile.ranks), [](const RankFigures& r) -> Cells {
                         return {num(int64_t{r.rank}), num(r.runTime), num(r.inCalls),
                                 num(r.outside), sharePercent(r.inCalls, r.runTime)};
                     });
}

StatTable regionProfileTable(RegionProfile profile) {
    const int64_t whole = profile.runTimeSum;
    return rowsTable({"Region", "Visits", "Inclusive [us]", "Exclusive [us]", "Mean [us]",
                      "Inclusive [%]", "Exclusive [%]"},
                     std::move(profile.regions), [whole](const RegionFigures& r) -> Cells {
                         const double mean =
                             static_cast<double>(r.inclusive) / static_cast<double>(r.visits);
                         return {r.name,
                                 num(r.visits),
                                 num(r.inclusive),
                                 num(r.exclusive),
                                 twoDecimals(mean),
                                 sharePercent(r.inclusive, whole),
                                 sharePercent(r.exclusive, whole)};
                     });
}

StatTable messageSizesTable(const MessageSizes& sizes) {
    std::vector<uint32_t> bins;
    uint32_t used = 0;
    for (uint32_t b = 0; b < kSizeBins; ++b)
        if (sizes.bins[b].messages) used = b + 1;
    for (uint32_t b = 0; b < used; ++b) bins.push_back(b);
    return rowsTable({"Size", "Messages", "Bytes"}, std::move(bins), [sizes](uint32_t b) -> Cells {
        return {sizeBinLabel(b), num(sizes.bins[b].messages), num(sizes.bins[b].bytes)};
    });
}

StatTable waitsTable(WaitStates waits, WaitsBy by) {
    const int64_t whole = waits.runTimeSum;
    switch (by) {
    case WaitsBy::Kind: {
        std::vector<uint32_t> kinds;
        for (uint32_t k = 0; k < kWaitKinds; ++k) kinds.push_back(k);
        return rowsTable(withWaitColumns({"Kind"}), std::move(kinds),
                         [totals = waits.byKind, whole](uint32_t k) -> Cells {
                             return prepend({waitKindName(static_cast<WaitKind>(k))},
                                            waitCells(totals[k], whole));
                         });
    }
    case WaitsBy::Rank:
        return rowsTable(withWaitColumns({"Rank"}), std::move(waits.byRank),
                         [whole](const std::pair<int32_t, WaitTotals>& r) -> Cells {
                             return prepend({num(int64_t{r.first})}, waitCells(r.second, whole));
                         });
    case WaitsBy::Function:
        break;
    }
    return rowsTable(withWaitColumns({"Function", "Id"}), std::move(waits.byFunction),
                     [whole](const std::pair<uint32_t, WaitTotals>& f) -> Cells {
                         return prepend({functionName(f.first), num(uint64_t{f.first})},
                                        waitCells(f.second, whole));
                     });
}

StatTable waitListTable(WaitStates waits) {
    return rowsTable({"Kind", "Rank", "Call", "Function", "Start [us]", "Wait [us]", "Partner rank",
                      "Partner call"},
                     std::move(waits.worst), [](const WaitInstance& w) -> Cells {
                         return {waitKindName(w.kind),
                                 num(int64_t{w.rank}),
                                 num(uint64_t{w.call}),
                                 functionName(w.funcId),
                                 num(w.start),
                                 num(w.wait),
                                 num(int64_t{w.partnerRank}),
                                 num(uint64_t{w.partnerCall})};
                     });
}

StatTable clockQualityTable(std::vector<NodePairClocks> pairs) {
    return rowsTable(
        {"Send node", "Recv node", "Links", "Reversed", "Max reversal [us]", "Send offset [us]",
         "Recv offset [us]"},
        std::move(pairs), [](const NodePairClocks& p) -> Cells {
            return {num(uint64_t{p.sendNode}), num(uint64_t{p.recvNode}), num(p.links),
                    num(p.reversed),           num(p.maxReversal),        num(p.sendOffset),
                    num(p.recvOffset)};
        });
}
