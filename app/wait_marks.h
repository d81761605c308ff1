#pragma once
// The waiting part of each call that waited for a partner, darkened in the
// event explorer's picture: from the call's start for as long as it waited.

#include "ui/event_expl.h"

#include <QColor>

#include <memory>

class AnalysisIndexes;

// Laid over the bars: their colour shows through, darker.
inline const QColor kWaitShade(0, 0, 0, 140);

// The marks of the trace's waits, read from the indexes (the waits are found
// on the first paint).
EventExpl::Overlay waitMarks(std::shared_ptr<AnalysisIndexes> indexes);
