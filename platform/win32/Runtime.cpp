// What the launcher and the installer tool need of a C and C++ runtime, and
// no more: the byte routines the compiler calls, the exit handlers that
// destroy static objects, and the process entry. The shipping files link no
// runtime library: the toolchain's own is built for newer processors than
// they run on, and brings ten times their size.

#include <windows.h>

#include <cstddef>

#include "platform/Bytes.h"
#include "platform/WinApp.h"
#include "platform/win32/WindowsPlatform.h"

namespace {

using Handler = void (*)();

// Static objects register their destructors here as they are constructed.
// Each program has a few; a full table only means a destructor that does
// not run when the process ends.
constexpr int kMostHandlers = 32;
Handler g_handlers[kMostHandlers];
int g_handlerCount = 0;

}  // namespace

extern "C" {

// The linker's list of static constructors: a -1 in front, then the
// functions, then a null. They run from the last to the first, as the
// toolchain's own start-up runs them.
extern Handler __CTOR_LIST__[];

void* memcpy(void* to, const void* from, std::size_t count) {
    return launcher::CopyBytes(to, from, count);
}
void* memmove(void* to, const void* from, std::size_t count) {
    return launcher::MoveBytes(to, from, count);
}
void* memset(void* to, int value, std::size_t count) {
    return launcher::FillBytes(to, value, count);
}
int memcmp(const void* a, const void* b, std::size_t count) {
    return launcher::CompareBytes(a, b, count);
}
void* memchr(const void* bytes, int value, std::size_t count) {
    return const_cast<void*>(launcher::FindByte(bytes, value, count));
}
std::size_t strlen(const char* text) { return launcher::TextLength(text); }

int atexit(Handler handler) {
    if (g_handlerCount == kMostHandlers) return -1;
    g_handlers[g_handlerCount++] = handler;
    return 0;
}

// Static objects are destroyed in the reverse order of their construction,
// each once, also when one of their destructors ends the process itself.
[[noreturn]] void exit(int status) {
    while (g_handlerCount > 0) g_handlers[--g_handlerCount]();
    ExitProcess(static_cast<UINT>(status));
}

// A call of a pure virtual function: a fault of the program, ended as
// quietly as every other way out.
void __cxa_pure_virtual() { exit(0); }

[[noreturn]] void ProgramEntry() {
    launcher::TakeOwnErrorMode();
    Handler* last = __CTOR_LIST__ + 1;
    while (*last) ++last;
    while (last != __CTOR_LIST__ + 1) (*--last)();
    exit(launcher::CWinApp::RunCurrent());
}

}  // extern "C"

// Only a class with a virtual destructor refers to these; the launcher
// creates no object with new.
void operator delete(void* block) noexcept {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }
