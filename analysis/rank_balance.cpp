#include "analysis/rank_balance.h"

#include "analysis/collective_kinds.h"
#include "analysis/scoped_calls.h"
#include "model/parallel_for.h"

FunctionGroup functionGroupOf(uint32_t id) {
    if (collectiveKind(id) != CollectiveKind::None) return FunctionGroup::Collective;
    switch (id) {
    case kFuncSend:
    case kFuncIsend:
    case kFuncRecv:
    case kFuncIrecv:
    case otherCallId(kOtherProbe):
    case otherCallId(kOtherIprobe):
    case otherCallId(kOtherMprobe):
    case otherCallId(kOtherImprobe):
    case otherCallId(kOtherIprobePolls):
    case otherCallId(kOtherCancelledIsend):
    case otherCallId(kOtherCancelledIrecv):
        return FunctionGroup::PointToPoint;
    case otherCallId(kOtherTestPolls):
        return FunctionGroup::WaitTest;
    default:
        // The wait bit, as the call kinds take it (no other range sets it).
        return id & kFuncWaitBit ? FunctionGroup::WaitTest : FunctionGroup::OtherMpi;
    }
}

const char* functionGroupName(FunctionGroup group) {
    static const char* const kNames[kFunctionGroups] = {"point-to-point", "collectives",
                                                        "waits and tests", "other MPI"};
    return kNames[static_cast<uint32_t>(group)];
}

std::vector<RankBalance> rankBalance(const TTrace& trace, const AnalysisScope& scope,
                                     const TraceWindows* windows) {
    const std::vector<ScopedProcess> procs = scopedProcesses(trace, scope);
    std::vector<RankBalance> out(procs.size());
    parallelFor(static_cast<uint32_t>(procs.size()), [&](uint32_t i) {
        RankBalance& b = out[i];
        b.rank = procs[i].rank;
        b.runTime = scopedRunTime(procs[i], scope.range);
        int64_t inCalls = 0;
        forEachScopedCall(procs[i], scope, windows, [&](const ScopedCall& c) {
            const std::optional<int64_t> d = scopedDuration(scope, c);
            if (!d) return;
            int64_t& group = b.inGroup[static_cast<uint32_t>(functionGroupOf(c.call.baseFuncId()))];
            group = wrapAdd(group, *d);
            inCalls = wrapAdd(inCalls, *d);
        });
        b.outside = std::max<int64_t>(0, wrapSub(b.runTime, inCalls));
    });
    return out;
}
