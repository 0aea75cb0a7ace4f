#pragma once

#include <cstddef>

/** Counts heap allocations made by the calling thread while a scope is active. The test
    binaries that link AllocationCounter.cpp replace the global allocation functions, the
    malloc family included, so every allocation path is seen. */
namespace allocations
{
/** False in sanitizer builds, whose runtimes own the allocation functions. */
constexpr bool available =
#if KESTRUNE_SANITIZED
    false;
#else
    true;
#endif

/** Number of allocations (new, malloc, calloc, realloc, aligned forms) this thread has
    made while counting was on. */
std::size_t count() noexcept;

class Counting
{
public:
    Counting() noexcept;
    ~Counting();
    Counting (const Counting&) = delete;
    Counting& operator= (const Counting&) = delete;

    /** Allocations made on this thread since this scope began. */
    std::size_t allocations() const noexcept;

private:
    std::size_t start;
};
} // namespace allocations
