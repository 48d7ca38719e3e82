#include "bench/PeakMemory.h"

#include <cstdlib>
#include <new>

namespace {

// Each block carries its size in front, kept at the alignment new promises.
constexpr std::size_t kHeader = alignof(std::max_align_t);
std::size_t g_held = 0;
std::size_t g_start = 0;
std::size_t g_peak = 0;

void* Take(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!block) throw std::bad_alloc();
    *reinterpret_cast<std::size_t*>(block) = size;
    g_held += size;
    if (g_held > g_peak) g_peak = g_held;
    return block + kHeader;
}

void Give(void* p) noexcept {
    if (!p) return;
    auto* block = static_cast<unsigned char*>(p) - kHeader;
    g_held -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Take(size); }
void* operator new[](std::size_t size) { return Take(size); }
void operator delete(void* p) noexcept { Give(p); }
void operator delete[](void* p) noexcept { Give(p); }
void operator delete(void* p, std::size_t) noexcept { Give(p); }
void operator delete[](void* p, std::size_t) noexcept { Give(p); }

namespace bench {

void PeakMemory::Reset() {
    g_start = g_held;
    g_peak = g_held;
}

std::size_t PeakMemory::PeakAboveStart() { return g_peak - g_start; }

}  // namespace bench
