#pragma once
#include <cstdio>
#include <cstdlib>

// A property of the fuzzed code that must hold for every input: a violation aborts, so the
// fuzzer keeps the input that caused it.
#define Check(condition)                                                                      \
    do {                                                                                      \
        if (!(condition)) {                                                                   \
            std::fprintf(stderr, "property violated at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)
