// Fuzz target: arbitrary bytes as the files of an OTF2 archive. Imports them
// through the OTF2 library, checks that every message is one line, then
// reads the document as the trace target does.

#include "fuzz/document_reads.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_entries.h"
#include "fuzz/otf2_archive_bytes.h"
#include "fuzz/scratch_file.h"
#include "model/trace_document.h"
#include "otf2/open_trace.h"

#include <sstream>
#include <string>

int fuzzOtf2Entry(const uint8_t* data, size_t size) {
    const std::string anchor = unpackArchive(data, size, scratchPath("archive"));
    std::ostringstream dbMessages, errors;
    auto trace = openTraceFile(anchor, dbMessages, errors);
    FUZZ_CHECK(trace != nullptr);
    std::istringstream lines(errors.str());
    for (std::string line; std::getline(lines, line);) FUZZ_CHECK(!line.empty());
    FUZZ_CHECK(trace->loaded() || !errors.str().empty()); // a failure always says why
    readWholeDocument(*trace);
    return 0;
}
