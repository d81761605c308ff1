// Fuzz target: arbitrary bytes as an application database. Loads them into
// fresh name tables and through a document, then looks names up inside,
// at the edge of and beyond both tables.

#include "appdb/fdb_reader.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_entries.h"
#include "fuzz/scratch_file.h"
#include "model/trace_document.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Identifiers worth looking up: small ones, the tables' edges, the extremes,
// and words taken from the input itself (which the reader may have stored).
std::vector<uint32_t> lookupIds(const TNameTable& table, const uint8_t* data, size_t size) {
    std::vector<uint32_t> ids{0, 1, 2, 65535, 65536, UINT32_MAX - 1, UINT32_MAX};
    if (table.size() > 0) {
        ids.push_back(static_cast<uint32_t>(table.size() - 1));
        ids.push_back(static_cast<uint32_t>(table.size()));
    }
    for (size_t off = 0; off + 4 <= size && ids.size() < 24; off += 4) {
        uint32_t word;
        std::memcpy(&word, data + off, 4);
        ids.push_back(word);
    }
    return ids;
}

void checkLookups(const TNameTable& sections, const TNameTable& files, const uint8_t* data,
                  size_t size) {
    for (uint32_t id : lookupIds(sections, data, size)) {
        const std::string name = sectName(sections, id);
        if (!sections.covers(id))
            FUZZ_CHECK(name == "Unknown (" + std::to_string(id) + ")");
        else
            FUZZ_CHECK(name == sections.at(id));
    }
    for (uint32_t id : lookupIds(files, data, size)) {
        const std::string name = fileName(files, id);
        if (!files.covers(id))
            FUZZ_CHECK(name == "Unknown");
        else
            FUZZ_CHECK(name == files.at(id));
    }
}

// A stored name is one run of non-blank bytes of one line: the number of
// stored names is bounded by the number of lines, whatever the identifiers.
size_t maxLines(const uint8_t* data, size_t size) {
    const size_t newlines = static_cast<size_t>(std::count(data, data + size, '\n'));
    return newlines + size / 2047 + 1;
}

} // namespace

int fuzzFdbEntry(const uint8_t* data, size_t size) {
    const std::string path = writeScratchFile("input.fdb", data, size);

    TNameTable sections;
    TNameTable files;
    const int result = loadFdb(sections, files, path);
    FUZZ_CHECK(result == kFdbOk || result == kFdbBadLine || result == kFdbBadEntry);
    FUZZ_CHECK(sections.covers(0));
    FUZZ_CHECK(!sectName(sections, 0).empty());
    FUZZ_CHECK(sections.namedCount() + files.namedCount() <= maxLines(data, size) + 1);
    if (size == 0) FUZZ_CHECK(result == kFdbOk && sections.size() == 1 && files.size() == 0);
    checkLookups(sections, files, data, size);

    // The same file through the document gives the same tables.
    TTrace document;
    FUZZ_CHECK(document.loadFdb(path) == result);
    FUZZ_CHECK(document.databaseResult() == result);
    FUZZ_CHECK(document.sectionNames.size() == sections.size());
    FUZZ_CHECK(document.fileNames.size() == files.size());
    for (uint32_t id : lookupIds(files, data, size))
        FUZZ_CHECK(document.fileName(id) == fileName(files, id));
    for (uint32_t id : lookupIds(sections, data, size))
        FUZZ_CHECK(document.sectName(id) == sectName(sections, id));
    return 0;
}
