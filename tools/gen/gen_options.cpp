#include "tools/gen/gen_options.h"

namespace {

struct PatternName {
    GenPattern pattern;
    const char* name;
};

constexpr PatternName kPatterns[] = {
    {GenPattern::Ring, "ring"},
    {GenPattern::Stencil, "stencil"},
    {GenPattern::MasterWorker, "master-worker"},
    {GenPattern::Collectives, "collectives"},
    {GenPattern::Mixed, "mixed"},
    {GenPattern::PingPong, "pingpong"},
};

} // namespace

std::optional<GenPattern> patternFromName(std::string_view name) {
    for (const PatternName& p : kPatterns)
        if (name == p.name) return p.pattern;
    return std::nullopt;
}

const char* patternName(GenPattern pattern) {
    for (const PatternName& p : kPatterns)
        if (pattern == p.pattern) return p.name;
    return "?";
}

std::optional<unsigned> faultFromName(std::string_view name) {
    if (name == "unfinished") return kFaultUnfinished;
    if (name == "unfreed-comm") return kFaultUnfreedComm;
    if (name == "lost-recv") return kFaultLostRecv;
    if (name == "no-init") return kFaultNoInit;
    return std::nullopt;
}

std::string checkOptions(const GenOptions& o) {
    if (o.ranks < 2 || o.ranks > kGenMaxRanks)
        return "--ranks must be between 2 and " + std::to_string(kGenMaxRanks);
    if (o.pattern == GenPattern::PingPong && o.ranks != 2) return "--ranks must be 2 for pingpong";
    if (o.nodes < 1 || o.nodes > o.ranks) return "--nodes must be between 1 and --ranks";
    if (o.iterations < 1 || o.iterations > kGenMaxIterations)
        return "--iterations must be between 1 and " + std::to_string(kGenMaxIterations);
    if (o.skewUs < 0 || o.skewUs > kGenMaxSkewUs)
        return "--skew-us must be between 0 and " + std::to_string(kGenMaxSkewUs);
    return {};
}
