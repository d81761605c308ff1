// The kinds table: every lookup finds its own entry, the menu's items and
// keys do not collide, and each flag tells the truth about the table the
// kind builds (a range changes only the kinds that take one, a section only
// the matrices).
#include "model/stat_kinds.h"
#include "model/stat_tables.h"

#include "tests/table_rows.h"
#include "tests/written_trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>

namespace {

// The letter after a menu text's &, lower case.
char mnemonic(const std::string& text) {
    const size_t amp = text.find('&');
    return amp + 1 < text.size() ? static_cast<char>(std::tolower(text[amp + 1])) : '\0';
}

} // namespace

TEST(StatKinds, LookupsMenuAndNames) {
    const auto kinds = statKinds();
    ASSERT_EQ(kinds.size(), 5u);
    std::set<std::string> names, captions, keys;
    std::set<char> mnemonics;
    std::vector<int> positions;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const StatKindInfo& k = kinds[i];
        SCOPED_TRACE(k.name);
        EXPECT_EQ(static_cast<int>(k.kind), static_cast<int>(i) + 1); // kind-number order
        EXPECT_EQ(statKindInfo(static_cast<int>(k.kind)), &k);
        EXPECT_EQ(statKindInfo(k.kind), &k);
        EXPECT_EQ(statKindNamed(k.name), &k);
        EXPECT_STREQ(statCaption(k.kind), k.caption);
        EXPECT_EQ(hasSectionSelector(k.kind), k.matrix.has_value());
        names.insert(k.name);
        captions.insert(k.caption);
        keys.insert(k.accelerator);
        mnemonics.insert(mnemonic(k.menuText));
        positions.push_back(k.menuPosition);
    }
    // One menu: no two items share a key or a mnemonic; the places are 0..4.
    EXPECT_EQ(names.size(), kinds.size());
    EXPECT_EQ(captions.size(), kinds.size());
    EXPECT_EQ(keys.size(), kinds.size());
    EXPECT_EQ(mnemonics.size(), kinds.size());
    EXPECT_FALSE(mnemonics.count('\0'));
    std::sort(positions.begin(), positions.end());
    EXPECT_EQ(positions, (std::vector<int>{0, 1, 2, 3, 4}));
    std::vector<std::string> menu;
    for (const StatKindInfo* k : statKindsInMenuOrder()) menu.push_back(k->name);
    EXPECT_EQ(menu,
              (std::vector<std::string>{"nodes", "process", "sendrecv", "datasize", "counters"}));

    for (int unknown : {0, 6, -1}) EXPECT_EQ(statKindInfo(unknown), nullptr);
    for (const char* unknown : {"", "sizes", "Nodes", "process "})
        EXPECT_EQ(statKindNamed(unknown), nullptr) << unknown;
    EXPECT_STREQ(statCaption(static_cast<StatKind>(9)), "");
    EXPECT_FALSE(hasSectionSelector(static_cast<StatKind>(9)));
    EXPECT_EQ(statTable(TTrace(), static_cast<StatKind>(9)).rowCount, 0u);

    EXPECT_EQ(statKindNames([](const StatKindInfo& k) { return k.takesRange; }),
              "process, sendrecv, datasize");
    EXPECT_EQ(statKindNames([](const StatKindInfo&) { return false; }), "");
}

TEST(StatKinds, EachTableTakesWhatItsFlagsSay) {
    // Rank 0 sends 8 bytes to rank 1 early in section 0 and 64 bytes late in
    // section 5; both ranks run from 0 to 1000.
    TraceWriter w;
    for (uint32_t r = 0; r < 2; ++r) {
        w.declareProcess(r, nodeIdFromOctets(10, 0, 0, 1));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 100);
        if (r == 0) w.longCall(0, kFuncSend, 110, 120, 8, 0, 1, kWorldComm);
        if (r == 1) w.longCall(0, kFuncRecv, 110, 130, 8, 0, 0, kWorldComm);
        w.sectionMarker(5, 500);
        if (r == 0) w.longCall(0, kFuncSend, 600, 610, 64, 0, 1, kWorldComm);
        if (r == 1) w.longCall(0, kFuncRecv, 600, 640, 64, 0, 0, kWorldComm);
        if (r == 0) w.counter(3, makeLocation(1, 7));
        w.shortCall(makeLocation(1, 2), kFuncFinalize, 900, 1000);
    }
    auto trace = openWrittenTrace(w);
    ASSERT_TRUE(trace->loaded());
    const TimeRange late{trace->startTime() + 550, trace->startTime() + 2000};

    for (const StatKindInfo& k : statKinds()) {
        SCOPED_TRACE(k.name);
        const std::vector<Cells> whole = allRows(k.table(*trace, 0, std::nullopt));
        ASSERT_FALSE(whole.empty());
        EXPECT_EQ(whole, allRows(statTable(*trace, k.kind)));
        EXPECT_EQ(allRows(k.table(*trace, 0, late)) != whole, k.takesRange);
        EXPECT_EQ(allRows(k.table(*trace, 5, std::nullopt)) != whole, k.matrix.has_value());
    }
    // The matrices count what their weight says.
    const auto cell01 = [&](StatKind kind) {
        return statKindInfo(kind)->table(*trace, 0, late).rowCells(0)[1];
    };
    EXPECT_EQ(cell01(StatKind::SendRecv), "1/0");
    EXPECT_EQ(cell01(StatKind::DataSize), "64/0");
}
