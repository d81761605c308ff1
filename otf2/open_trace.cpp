#include "otf2/open_trace.h"

#include "appdb/fdb_reader.h"
#include "model/trace_document.h"
#include "otf2/archive_reader.h"
#include "otf2/otf2_import.h"

std::unique_ptr<TTrace> openTraceFile(const std::string& path, std::ostream& dbMessages,
                                      std::ostream& errors, const LoadProgress& progress,
                                      const LoadCancel* cancel) {
    if (!otf2in::isAnchorFile(path))
        return std::make_unique<TTrace>(path, dbMessages, errors, progress, cancel);
    auto trace = std::make_unique<TTrace>();
    const bool loaded = otf2in::importArchive(*trace, path, errors, progress, nullptr, cancel);
    // The names come with the archive: read when it loaded, as a database would be.
    trace->setOutcome(loaded, loaded ? std::optional<int>(kFdbOk) : std::nullopt);
    return trace;
}
