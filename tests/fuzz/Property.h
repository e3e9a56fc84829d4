#pragma once

#include <cstdio>
#include <cstdlib>

// A property that does not hold stops the fuzzer; libFuzzer then keeps the input.
inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}
