#include "fuzz/fuzz_entries.h"

FuzzEntry fuzzEntryByName(std::string_view name) {
    if (name == "trace") return fuzzTraceEntry;
    if (name == "fdb") return fuzzFdbEntry;
    return nullptr;
}
