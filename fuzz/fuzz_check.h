#pragma once
// Invariant checks of the fuzz targets: a broken invariant is a finding, so
// it aborts (libFuzzer then saves the input; the replay test fails).

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: fuzz invariant failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)
