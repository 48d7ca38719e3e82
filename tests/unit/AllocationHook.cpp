#include "tests/unit/AllocationHook.h"

#include <cstdlib>
#include <new>

namespace launcher::testing {
namespace {
bool g_armed = false;
int g_paused = 0;
long g_count = 0;
long g_refuse = -1;

bool Refuses() {
    if (!g_armed || g_paused > 0) return false;
    return g_count++ == g_refuse;
}
}  // namespace

void AllocationHook::Arm(long refuse) {
    g_armed = true;
    g_count = 0;
    g_refuse = refuse;
}

long AllocationHook::Disarm() {
    g_armed = false;
    return g_count;
}

AllocationHook::Pause::Pause() { ++g_paused; }
AllocationHook::Pause::~Pause() { --g_paused; }

}  // namespace launcher::testing

namespace {
void* Allocate(std::size_t size) {
    if (launcher::testing::Refuses()) throw std::bad_alloc();
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
