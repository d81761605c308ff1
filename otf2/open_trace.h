#pragma once
// Opens a trace file of any supported kind: an OTF2 anchor file (".otf2")
// through the OTF2 importer, anything else as a .zlv trace.

#include "model/load_progress.h"

#include <iostream>
#include <memory>
#include <string>

class TTrace;

// cancel: when set during the load, it stops early (as a failed load).
std::unique_ptr<TTrace> openTraceFile(const std::string& path, std::ostream& dbMessages,
                                      std::ostream& errors, const LoadProgress& progress = {},
                                      const LoadCancel* cancel = nullptr);
