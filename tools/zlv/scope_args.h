#pragma once
// The options that restrict an analysis: --from/--to (a range of corrected
// µs), --section ID and --rank R (repeatable).

#include "analysis/analysis_scope.h"
#include "tools/zlv/args.h"

#include <optional>
#include <string>

// The option names, to add to a verb's ArgSpec.
inline const std::set<std::string> kRangeOptions = {"--from", "--to"};
inline const std::set<std::string> kScopeOptions = {"--from", "--to", "--section", "--rank"};

// The range of --from/--to (either may be left out: the run's start or end);
// nullopt without both. false and a message when a value is no number or
// the range is empty.
bool parseRange(const Args& args, std::optional<TimeRange>& range, std::string& error);
// The whole scope; the options a verb does not accept never reach here.
bool parseScope(const Args& args, AnalysisScope& scope, std::string& error);
