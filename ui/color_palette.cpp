#include "ui/color_palette.h"

#include "format/func_ids.h"

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
}

TColour ColorPalette::colourOf(uint32_t id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return e.colour;
    return {};
}
