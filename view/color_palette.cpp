#include "view/color_palette.h"

#include "format/tracer_calls.h"

namespace {

struct CallColour {
    uint32_t id;
    TColour colour;
};

// The tracer's own calls, family by family, each family in shades of a hue
// that no fixed entry uses, so that a glance tells the families apart and a
// closer look the calls; the legend lists them in this order.
const CallColour kTracerCallColours[] = {
    // Barrier: black, as nothing moves but time.
    {otherCallId(kOtherBarrier), {0, 0, 0}},
    // Exchanges of every member with every member: purples.
    {otherCallId(kOtherAllgather), {128, 0, 128}},
    {otherCallId(kOtherAllgatherv), {176, 48, 176}},
    {otherCallId(kOtherAlltoall), {96, 0, 192}},
    {otherCallId(kOtherAlltoallv), {144, 80, 224}},
    {otherCallId(kOtherAlltoallw), {200, 140, 240}},
    // Reductions whose result reaches every member: oranges.
    {otherCallId(kOtherAllreduce), {255, 128, 0}},
    {otherCallId(kOtherReduceScatter), {208, 96, 0}},
    {otherCallId(kOtherReduceScatterBlock), {240, 160, 48}},
    {otherCallId(kOtherScan), {255, 200, 120}},
    {otherCallId(kOtherExscan), {176, 112, 32}},
    // Probes and polls: teal.
    {otherCallId(kOtherProbe), {0, 128, 128}},
    {otherCallId(kOtherIprobe), {0, 168, 168}},
    {otherCallId(kOtherMprobe), {0, 96, 120}},
    {otherCallId(kOtherImprobe), {56, 184, 200}},
    {otherCallId(kOtherIprobePolls), {136, 200, 200}},
    {otherCallId(kOtherTestPolls), {96, 152, 168}},
    // Requests freed or cancelled: the cancelled ones as faded non-blocking
    // colours, as no message went.
    {otherCallId(kOtherRequestFree), {160, 82, 45}},
    {otherCallId(kOtherCancelledIsend), {168, 208, 208}},
    {otherCallId(kOtherCancelledIrecv), {168, 208, 168}},
    // Communicators made beyond the fixed calls: greys beside the fixed
    // calls' grey.
    {commCallId(kCommCreate), {48, 48, 48}},
    {commCallId(kCommCreateGroup), {64, 64, 64}},
    {commCallId(kCommSplitType), {80, 80, 80}},
    {commCallId(kCommIdup), {96, 96, 96}},
    {commCallId(kCommGraphCreate), {112, 112, 112}},
    {commCallId(kCommDistGraphCreate), {144, 144, 144}},
    {commCallId(kCommDistGraphAdjacent), {160, 160, 160}},
    {commCallId(kCommIntercommMerge), {176, 176, 176}},
    {commCallId(kCommDupWithInfo), {216, 216, 216}},
    // Communicator-making calls that made none for the caller: slate greys.
    {otherCallId(kOtherCommCreate), {96, 104, 128}},
    {otherCallId(kOtherCommCreateGroupNoComm), {80, 88, 112}},
    {otherCallId(kOtherCommSplitType), {112, 120, 144}},
    {otherCallId(kOtherCommDupNoComm), {128, 136, 160}},
    {otherCallId(kOtherCommSplitNoComm), {144, 152, 176}},
    {otherCallId(kOtherCartCreateNoComm), {160, 168, 192}},
    {otherCallId(kOtherCartSubNoComm), {176, 184, 208}},
    {otherCallId(kOtherCommIdupNoComm), {192, 200, 224}},
    {otherCallId(kOtherGraphCreateNoComm), {64, 72, 96}},
    {otherCallId(kOtherDistGraphCreateNoComm), {208, 216, 240}},
    {otherCallId(kOtherDistGraphCreateAdjacentNoComm), {48, 56, 80}},
    {otherCallId(kOtherIntercommMergeNoComm), {120, 128, 168}},
    // The end of a run or of its recording: dark reds.
    {otherCallId(kOtherAbort), {128, 0, 0}},
    {otherCallId(kOtherRecordingCut), {176, 32, 32}},
};

} // namespace

ColorPalette::ColorPalette() {
    // Sends and receives in saturated colours, rooted collectives in pastel
    // tints, communicator calls grey; the two completing waits share blue.
    append(kFuncInit, {255, 255, 255});
    append(kFuncFinalize, {255, 255, 0});
    append(kFuncSend, {255, 0, 255});
    append(kFuncRecv, {255, 0, 0});
    append(kFuncIsend, {0, 255, 255});
    append(kFuncIrecv, {0, 255, 0});
    append(kFuncWaitIsend, {0, 0, 255});
    append(kFuncWaitIrecv, {0, 0, 255});
    append(kFuncReduce, {255, 255, 127});
    append(kFuncBcast, {255, 127, 255});
    append(kFuncScatter, {255, 127, 127});
    append(kFuncScatterv, {127, 255, 255});
    append(kFuncGather, {127, 255, 127});
    append(kFuncGatherv, {127, 127, 255});
    for (uint32_t id : {kFuncCommDup, kFuncCommSplit, kFuncCartCreate, kFuncCartSub, kFuncCommFree})
        append(id, {127, 127, 127});
    for (const CallColour& c : kTracerCallColours) append(c.id, c.colour);
}

TColour ColorPalette::colourOf(uint32_t id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return e.colour;
    return {};
}
