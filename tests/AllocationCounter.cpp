#include "AllocationCounter.h"

#include <cstdlib>
#include <execinfo.h>
#include <new>
#include <unistd.h>

#if ! KESTRUNE_SANITIZED
extern "C"
{
    void* __libc_malloc (std::size_t);
    void* __libc_calloc (std::size_t, std::size_t);
    void* __libc_realloc (void*, std::size_t);
    void* __libc_memalign (std::size_t, std::size_t);
    void __libc_free (void*);
}
#endif

namespace
{
thread_local int countingDepth = 0;
thread_local std::size_t counted = 0;

thread_local bool tracing = false;

[[maybe_unused]] inline void note() noexcept
{
    if (countingDepth > 0)
    {
        ++counted;
        if (std::getenv ("KESTRUNE_TRACE_ALLOCATIONS") != nullptr && ! tracing)
        {
            tracing = true;
            void* frames[32];
            const int n = backtrace (frames, 32);
            backtrace_symbols_fd (frames, n, 2);
            write (2, "----\n", 5);
            tracing = false;
        }
    }
}
} // namespace

namespace allocations
{
std::size_t count() noexcept
{
    return counted;
}

Counting::Counting() noexcept
    : start (counted)
{
    ++countingDepth;
}

Counting::~Counting()
{
    --countingDepth;
}

std::size_t Counting::allocations() const noexcept
{
    return counted - start;
}
} // namespace allocations

// The replacements below count every allocation; sanitizer runtimes own these functions.
#if ! KESTRUNE_SANITIZED
extern "C"
{
    void* malloc (std::size_t size)
    {
        note();
        return __libc_malloc (size);
    }

    void* calloc (std::size_t n, std::size_t size)
    {
        note();
        return __libc_calloc (n, size);
    }

    void* realloc (void* p, std::size_t size)
    {
        note();
        return __libc_realloc (p, size);
    }

    void free (void* p)
    {
        __libc_free (p);
    }

    void* memalign (std::size_t alignment, std::size_t size)
    {
        note();
        return __libc_memalign (alignment, size);
    }

    void* aligned_alloc (std::size_t alignment, std::size_t size)
    {
        note();
        return __libc_memalign (alignment, size);
    }

    int posix_memalign (void** out, std::size_t alignment, std::size_t size)
    {
        note();
        *out = __libc_memalign (alignment, size);
        return *out != nullptr ? 0 : 12; // ENOMEM
    }
}

// operator new/delete reach malloc/free above; defining them too makes the count
// independent of how the C++ runtime was built.
void* operator new (std::size_t size)
{
    if (void* p = malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* operator new[] (std::size_t size)
{
    return operator new (size);
}

void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    return malloc (size == 0 ? 1 : size);
}

void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    return malloc (size == 0 ? 1 : size);
}

void* operator new (std::size_t size, std::align_val_t alignment)
{
    if (void* p = aligned_alloc ((std::size_t) alignment, size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* operator new[] (std::size_t size, std::align_val_t alignment)
{
    return operator new (size, alignment);
}

void operator delete (void* p) noexcept
{
    free (p);
}
void operator delete[] (void* p) noexcept
{
    free (p);
}
void operator delete (void* p, std::size_t) noexcept
{
    free (p);
}
void operator delete[] (void* p, std::size_t) noexcept
{
    free (p);
}
void operator delete (void* p, std::align_val_t) noexcept
{
    free (p);
}
void operator delete[] (void* p, std::align_val_t) noexcept
{
    free (p);
}
void operator delete (void* p, std::size_t, std::align_val_t) noexcept
{
    free (p);
}
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept
{
    free (p);
}
#endif
