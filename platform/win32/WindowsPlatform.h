#pragma once
// What the process entry and the installer tool's platform need of the
// Windows platform beyond the interface itself.

#include <windows.h>

namespace launcher {

// A library of the system directory (a name of up to 14 characters), loaded
// by its full path; null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);

// A function of `library`, by name or ordinal, as the type it has; false
// when the library lacks it (or is null).
template <typename Function>
bool TakeFunction(HMODULE library, const char* name, Function* function) {
    *function =
        library ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                : nullptr;
    return *function != nullptr;
}

// Adds the error-mode flags the program's own work runs with, and keeps the
// mode the process was started with for the programs it starts.
void TakeOwnErrorMode();

}  // namespace launcher
