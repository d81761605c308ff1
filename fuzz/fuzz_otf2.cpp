// libFuzzer main of the OTF2 archive target.
#include "fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzOtf2Entry(data, size);
}
