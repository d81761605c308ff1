#pragma once
// What the trace target does with a loaded document, shared with the OTF2
// target: the model's invariants, every accessor, links, clocks, checks and
// statistics tables, sorts.

class TTrace;

void readWholeDocument(TTrace& trace);
