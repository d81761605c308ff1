// The colour palette: its nineteen fixed entries and white fallback, and a
// colour of its own for every call the tracer names.

#include "appdb/func_names.h"
#include "format/tracer_calls.h"
#include "view/color_palette.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace {

std::tuple<int, int, int> rgb(const TColour& c) {
    return {c.r, c.g, c.b};
}

} // namespace

TEST(ColorPalette, FixedEntriesThenTheTracersCalls) {
    const ColorPalette palette;
    const uint32_t fixedOrder[] = {1,  2,  3,  4,  8,  9,  24, 25, 6, 5,
                                   11, 12, 13, 14, 32, 33, 34, 35, 36};
    ASSERT_EQ(palette.entryCount(), 19u + kOtherCallCount + kCommCallCount);
    for (uint32_t i = 0; i < 19; ++i) EXPECT_EQ(palette.idAt(i), fixedOrder[i]) << i;
    EXPECT_EQ(rgb(palette.colourOf(kFuncSend)), std::tuple(255, 0, 255));
    EXPECT_EQ(rgb(palette.colourOf(kFuncGatherv)), std::tuple(127, 127, 255));
    EXPECT_EQ(palette.idAt(palette.entryCount()), 0u);
    // MPI_Wait, markers and identifiers nobody names stay white.
    for (uint32_t id :
         {0u, 16u, 65u, 67u, 0x803u, otherCallId(kOtherCallCount), commCallId(kCommCallCount)})
        EXPECT_EQ(palette.colourOf(id), TColour{}) << id;

    // Every named identifier but MPI_Wait has an entry; the tracer's are
    // listed once each, after the fixed ones.
    const TFuncNames names;
    std::set<uint32_t> listed;
    for (uint32_t i = 0; i < palette.entryCount(); ++i) {
        EXPECT_TRUE(listed.insert(palette.idAt(i)).second) << palette.idAt(i);
        EXPECT_NE(names.funcName(palette.idAt(i)), "Unknown") << palette.idAt(i);
    }
    for (const TFuncNames::Entry& e : names.entries()) {
        if (e.id == kFuncWait) continue;
        EXPECT_TRUE(listed.count(e.id)) << e.name << " has no colour";
    }

    // Each of the tracer's calls has a colour no other entry has, nor the
    // fallback white.
    std::set<std::tuple<int, int, int>> fixedColours{rgb(TColour{})}, tracerColours;
    for (uint32_t i = 0; i < 19; ++i) fixedColours.insert(rgb(palette.colourOf(palette.idAt(i))));
    for (uint32_t i = 19; i < palette.entryCount(); ++i) {
        const uint32_t id = palette.idAt(i);
        const auto colour = rgb(palette.colourOf(id));
        EXPECT_FALSE(fixedColours.count(colour)) << names.funcName(id);
        EXPECT_TRUE(tracerColours.insert(colour).second) << names.funcName(id) << " shares";
    }
}
