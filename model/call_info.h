#pragma once
// The text of the call information box for one clicked call.

#include <cstdint>
#include <string>

class TTrace;
struct TFunc;

// "File: ...\nLine: ...\nNode: ...\nRank: ...\nFunction: ..." for the call of
// the process at `position` in the document's current row order.
std::string callInfoText(const TTrace& trace, uint32_t position, const TFunc& call);
