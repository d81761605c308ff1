#pragma once
// The event explorer's picture drawn the plain way, for the tests and the
// benchmark that compare the painter with it: every call of every shown row
// walked from its first record through the trace's shared cursor, each bar,
// mark and link drawn as it comes.

#include "ui/event_paint.h"

// Draws onto a painter that is already black over `bounds`.
void paintCallsReference(QPainter& painter, const QRect& bounds, const EventPaintInput& in);
