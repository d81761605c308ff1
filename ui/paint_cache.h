#pragma once
// What the event explorer keeps between paints to avoid walking every call:
// the skip index of end times and the links laid out for painting. Both are
// derived from the trace alone and forgotten when a trace opens or closes.

#include "ui/call_skip_index.h"
#include "ui/link_end_index.h"

struct PaintCache {
    CallSkipIndex skipIndex;
    LinkEndIndex linkEnds;

    void clear() {
        skipIndex.clear();
        linkEnds.clear();
    }
};
