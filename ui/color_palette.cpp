#include "ui/color_palette.h"

ColorPalette::ColorPalette() {
    // Sends and receives in saturated colours, rooted collectives in pastel
    // tints, communicator calls grey; the two completing waits share blue.
    append(1, {255, 255, 255});
    append(2, {255, 255, 0});
    append(3, {255, 0, 255});
    append(4, {255, 0, 0});
    append(8, {0, 255, 255});
    append(9, {0, 255, 0});
    append(24, {0, 0, 255});
    append(25, {0, 0, 255});
    append(6, {255, 255, 127});
    append(5, {255, 127, 255});
    append(11, {255, 127, 127});
    append(12, {127, 255, 255});
    append(13, {127, 255, 127});
    append(14, {127, 127, 255});
    for (uint32_t id : {32u, 33u, 34u, 35u, 36u}) append(id, {127, 127, 127});
}

TColour ColorPalette::colourOf(uint32_t id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return e.colour;
    return {};
}
