#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace varnel {

// An allocator for the large arrays of a pick list (the cells of a hundred thousand rows, their
// sort orders): a block of a megabyte or more is aligned to 2 MB and, on Linux, marked for huge
// pages, so that filling it takes a few page faults instead of thousands. Smaller blocks come
// from the usual allocator.
template <typename T> struct LargeAllocator {
    using value_type = T;

    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U>&) noexcept {}

    static constexpr std::size_t kLarge = std::size_t(1) << 20;
    static constexpr std::size_t kAlign = std::size_t(2) << 20;

    T* allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kLarge)
            return std::allocator<T>().allocate(n);
        const std::size_t rounded = (bytes + kAlign - 1) / kAlign * kAlign;
        void* p = std::aligned_alloc(kAlign, rounded);
        if (!p)
            throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        ::madvise(p, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(p);
    }

    void deallocate(T* p, std::size_t n) noexcept
    {
        if (n * sizeof(T) < kLarge)
            std::allocator<T>().deallocate(p, n);
        else
            std::free(p);
    }

    template <typename U> bool operator==(const LargeAllocator<U>&) const noexcept
    {
        return true;
    }
};

template <typename T> using LargeVector = std::vector<T, LargeAllocator<T>>;

} // namespace varnel
