#include "platform/Bytes.h"

// A byte at a time: the launcher copies a few paths and names, so plain loops
// cost nothing that shows, and they cannot go wrong on alignment.

// These loops are memcpy, memset and strlen themselves in the shipping file,
// so the compiler must never turn one back into a call of those, whatever
// flags the build passes.
#if defined(__clang__)
#define OWN_BYTE_ROUTINE __attribute__((no_builtin))
#elif defined(__GNUC__)
#define OWN_BYTE_ROUTINE __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define OWN_BYTE_ROUTINE
#endif

namespace launcher {

OWN_BYTE_ROUTINE void* CopyBytes(void* to, const void* from, std::size_t count) {
    unsigned char* d = static_cast<unsigned char*>(to);
    const unsigned char* s = static_cast<const unsigned char*>(from);
    while (count-- > 0) *d++ = *s++;
    return to;
}

OWN_BYTE_ROUTINE void* MoveBytes(void* to, const void* from, std::size_t count) {
    unsigned char* d = static_cast<unsigned char*>(to);
    const unsigned char* s = static_cast<const unsigned char*>(from);
    if (d == s || count == 0) return to;
    // Forwards is safe unless the target starts inside the source; then the
    // tail has to go first.
    if (d < s || d >= s + count) {
        while (count-- > 0) *d++ = *s++;
    } else {
        d += count;
        s += count;
        while (count-- > 0) *--d = *--s;
    }
    return to;
}

OWN_BYTE_ROUTINE void* FillBytes(void* to, int value, std::size_t count) {
    unsigned char* d = static_cast<unsigned char*>(to);
    const unsigned char byte = static_cast<unsigned char>(value);
    while (count-- > 0) *d++ = byte;
    return to;
}

OWN_BYTE_ROUTINE int CompareBytes(const void* a, const void* b, std::size_t count) {
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (std::size_t i = 0; i < count; ++i)
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    return 0;
}

OWN_BYTE_ROUTINE const void* FindByte(const void* bytes, int value, std::size_t count) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    const unsigned char byte = static_cast<unsigned char>(value);
    for (std::size_t i = 0; i < count; ++i)
        if (p[i] == byte) return p + i;
    return nullptr;
}

OWN_BYTE_ROUTINE std::size_t TextLength(const char* text) {
    std::size_t n = 0;
    while (text[n] != '\0') ++n;
    return n;
}

}  // namespace launcher
