#pragma once
// The statistics kinds, each described once: its name on the command line,
// its dialog caption, its menu item and key, how its table is made, and
// which restrictions it takes. The dialog, the menus and `zlv stats` all read
// this table, so a kind is added or renamed in one place.

#include "model/time_range.h"
#include "model/traffic_rows.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TTrace;
struct StatTable;

// The numbers are the dialog's kind numbers.
enum class StatKind {
    NodesRanks = 1,
    Process = 2,
    SendRecv = 3,
    Counters = 4,
    DataSize = 5,
};

struct StatKindInfo {
    StatKind kind;
    const char* name;        // `zlv stats NAME`
    const char* summary;     // what the table holds, one line of zlv's usage
    const char* caption;     // the dialog's caption (untranslated)
    const char* menuText;    // the statistics menu's item (untranslated, with its &)
    const char* accelerator; // the item's key, as QKeySequence's portable text
    int menuPosition;        // the item's place in the menu, from 0
    // The rank-by-rank matrices: what a cell counts. They have a section
    // selector; the other kinds have none.
    std::optional<TrafficWeight> matrix;
    bool takesRange; // a stretch of time restricts the table
    StatTable (*table)(const TTrace& trace, uint32_t section,
                       const std::optional<TimeRange>& range);
};

// Every kind in kind-number order.
std::span<const StatKindInfo> statKinds();
// Every kind in the order of the statistics menu.
std::vector<const StatKindInfo*> statKindsInMenuOrder();
// nullptr for a number or a name that no kind has.
const StatKindInfo* statKindInfo(StatKind kind);
const StatKindInfo* statKindInfo(int kind);
const StatKindInfo* statKindNamed(std::string_view name);

// "Nodes and Ranks", "Process", ... (untranslated); "" for an unknown kind.
const char* statCaption(StatKind kind);
// The two matrices can be restricted to one program section.
bool hasSectionSelector(StatKind kind);

// The names of the kinds that pass `test`, in kind-number order, joined by
// ", " (as zlv's usage and messages list them).
std::string statKindNames(bool (*test)(const StatKindInfo&));
