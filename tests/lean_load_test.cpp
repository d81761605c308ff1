// A trace opened without links (LoadDepth::WithoutLinks, as zlv check, stats
// and profile open it when no time range is asked for) gives the same checks,
// statistics tables, message sizes and profiles as one opened whole, with the
// same result, messages and process order; and it really has no links.

#include "analysis/analysis_tables.h"
#include "analysis/message_sizes.h"
#include "analysis/profile.h"
#include "gen_test_support.h"
#include "model/check_lines.h"
#include "model/stat_tables.h"
#include "model/table_output.h"
#include "model/trace_document.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::string tsv(const StatTable& table) {
    std::ostringstream out;
    writeTable(table, TableFormat::Tsv, out);
    return out.str();
}

// Everything the verbs that open without links print, for every section the
// trace has and for the whole run.
std::vector<std::string> shown(const TTrace& t) {
    std::vector<std::string> out = runChecks(t, CheckSelection{}).lines;
    std::vector<uint32_t> sections{0};
    for (const TProcess& p : t.processes)
        for (const TFunc& f : p.calls)
            if (f.isSectionMarker() && sections.size() < 4) sections.push_back(f.location);
    for (StatKind kind : {StatKind::NodesRanks, StatKind::Process, StatKind::SendRecv,
                          StatKind::Counters, StatKind::DataSize})
        for (uint32_t section : sections)
            if (section == 0 || hasSectionSelector(kind))
                out.push_back(tsv(statTable(t, kind, section)));
    for (uint32_t section : sections) {
        const AnalysisScope scope{std::nullopt, section, {}};
        out.push_back(tsv(messageSizesTable(messageSizes(t, scope))));
        out.push_back(tsv(profileByFunctionTable(profile(t, scope))));
        out.push_back(tsv(profileByRankTable(profile(t, scope))));
    }
    out.push_back(tsv(profileByRankTable(profile(t, AnalysisScope{std::nullopt, 0, {0, 1}}))));
    return out;
}

std::vector<int32_t> ranksInOrder(const TTrace& t) {
    std::vector<int32_t> ranks;
    for (const TProcess& p : t.processes) ranks.push_back(static_cast<int32_t>(p.rank));
    return ranks;
}

} // namespace

TEST(LeanLoad, ShowsWhatAWholeLoadShows) {
    struct Case {
        GenPattern pattern;
        uint32_t ranks, nodes;
        unsigned faults;
    };
    const Case cases[] = {
        {GenPattern::PingPong, 2, 2, 0},
        {GenPattern::Mixed, 16, 4, 0},
        {GenPattern::Mixed, 9, 3, kFaultUnfinished | kFaultUnfreedComm | kFaultLostRecv},
        {GenPattern::MasterWorker, 7, 2, kFaultNoInit}, // fails to align: same message
        {GenPattern::Collectives, 5, 5, 0},
    };
    uint64_t linksOfWhole = 0;
    for (const Case& c : cases) {
        GenOptions options = genOptions(c.pattern, c.ranks, c.nodes, 3);
        options.skewUs = 5000; // corrections that would show if anything used them
        options.faults = c.faults;
        const std::string path = (genScratchDir() / "lean.zlv").string();
        const GenResult written = generateTrace(options, path);
        ASSERT_TRUE(written.ok) << written.error;
        SCOPED_TRACE(std::string(patternName(c.pattern)) + " " + std::to_string(c.ranks));

        std::ostringstream wholeDb, wholeErrors, leanDb, leanErrors;
        const TTrace whole(path, wholeDb, wholeErrors);
        const TTrace lean(path, leanDb, leanErrors, {}, nullptr, LoadDepth::WithoutLinks);
        EXPECT_EQ(lean.loaded(), whole.loaded());
        EXPECT_EQ(lean.databaseResult(), whole.databaseResult());
        EXPECT_EQ(leanErrors.str(), wholeErrors.str());
        EXPECT_EQ(leanDb.str(), wholeDb.str());
        EXPECT_EQ(ranksInOrder(lean), ranksInOrder(whole));
        EXPECT_EQ(totalLinks(lean), 0u);
        linksOfWhole += totalLinks(whole);
        EXPECT_EQ(shown(lean), shown(whole));
    }
    EXPECT_GT(linksOfWhole, 100u);
}
