#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise of the code under fuzzing: says which one and stops the run, so that
// libFuzzer keeps the input that broke it.
inline void FuzzCheck(bool holds, const char* promise)
{
    if (!holds) {
        std::fprintf(stderr, "Broken: %s\n", promise);
        std::abort();
    }
}
