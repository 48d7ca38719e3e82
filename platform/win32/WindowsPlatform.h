#pragma once
// What the process entry needs of the Windows platform beyond the
// interface itself.

namespace launcher {

// Adds the error-mode flags the program's own work runs with, and keeps the
// mode the process was started with for the programs it starts.
void TakeOwnErrorMode();

}  // namespace launcher
