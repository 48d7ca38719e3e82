#pragma once
// The byte routines the launcher needs of a C library. The shipping file
// links none, so these are its memcpy, memmove, memset, memcmp, memchr and
// strlen (platform/win32/Runtime.cpp gives them those names); the compiler
// also calls them on its own for copies and fills of whole objects.

#include <cstddef>

namespace launcher {

// `to` and `from` must not overlap.
void* CopyBytes(void* to, const void* from, std::size_t count);
// Overlapping ranges are copied as if through a buffer between them.
void* MoveBytes(void* to, const void* from, std::size_t count);
void* FillBytes(void* to, int value, std::size_t count);
// Bytes compared as unsigned values, as memcmp does.
int CompareBytes(const void* a, const void* b, std::size_t count);
// The first byte equal to (unsigned char)value, or null.
const void* FindByte(const void* bytes, int value, std::size_t count);
std::size_t TextLength(const char* text);

}  // namespace launcher
