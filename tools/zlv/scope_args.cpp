#include "tools/zlv/scope_args.h"

#include <climits>
#include <cstdint>

namespace {

bool number(const Args& args, const char* name, long long lo, long long hi,
            std::optional<long long>& out, std::string& error) {
    const auto values = args.options.find(name);
    if (values == args.options.end()) return true;
    long long v = 0;
    if (!parseInt64(values->second.back(), v) || v < lo || v > hi) {
        error = std::string(name) + " takes a whole number";
        return false;
    }
    out = v;
    return true;
}

} // namespace

bool parseRange(const Args& args, std::optional<TimeRange>& range, std::string& error) {
    std::optional<long long> from, to;
    if (!number(args, "--from", LLONG_MIN, LLONG_MAX, from, error) ||
        !number(args, "--to", LLONG_MIN, LLONG_MAX, to, error))
        return false;
    range.reset();
    if (!from && !to) return true;
    range = TimeRange{from.value_or(INT64_MIN), to.value_or(INT64_MAX)};
    if (range->from >= range->to) {
        error = "--from must lie before --to";
        return false;
    }
    return true;
}

bool parseScope(const Args& args, AnalysisScope& scope, std::string& error) {
    if (!parseRange(args, scope.range, error)) return false;
    std::optional<long long> section;
    if (!number(args, "--section", 0, UINT32_MAX, section, error)) return false;
    scope.section = static_cast<uint32_t>(section.value_or(0));
    scope.ranks.clear();
    if (auto ranks = args.options.find("--rank"); ranks != args.options.end())
        for (const std::string& text : ranks->second) {
            long long r = 0;
            if (!parseInt64(text, r) || r < 0 || r > INT32_MAX) {
                error = "--rank takes a rank";
                return false;
            }
            scope.ranks.push_back(static_cast<int32_t>(r));
        }
    return true;
}
