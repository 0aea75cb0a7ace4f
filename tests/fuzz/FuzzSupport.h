#pragma once

// Shared pieces of the fuzz targets.

#include <cstdlib>

namespace fuzz
{
/** One object for the whole run, created on first use and never destroyed (the fuzzer
    exits without unwinding). */
template <typename T>
T& persistent()
{
    static auto* object = new T();
    return *object;
}

/** A property that must hold; a failure is reported to libFuzzer as a crash. */
inline void check (bool condition)
{
    if (! condition)
        std::abort();
}
} // namespace fuzz
