// libFuzzer main of the application database target.
#include "fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzFdbEntry(data, size);
}
