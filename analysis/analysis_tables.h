#pragma once
// The analysis results as tables of cells: what `zlv` prints and what a panel
// shows, cell for cell. Integers exact, means and percentages with two decimals.

#include "analysis/clock_quality.h"
#include "analysis/message_sizes.h"
#include "analysis/profile.h"
#include "analysis/region_profile.h"
#include "analysis/wait_states.h"
#include "model/stat_tables.h"

enum class WaitsBy { Kind, Rank, Function };

StatTable profileByFunctionTable(Profile profile); // then the row "(outside MPI)"
StatTable profileByRankTable(Profile profile);
StatTable regionProfileTable(RegionProfile profile);
StatTable messageSizesTable(const MessageSizes& sizes); // bins up to the largest used one
StatTable waitsTable(WaitStates waits, WaitsBy by);
StatTable waitListTable(WaitStates waits); // the instances of `worst`, largest first
StatTable clockQualityTable(std::vector<NodePairClocks> pairs);

// part / whole * 100 with two decimals; "" when whole is 0.
std::string sharePercent(int64_t part, int64_t whole);
