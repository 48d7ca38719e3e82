// Process entry of the launcher. The application object was constructed by
// static initialisation before this runs; its destructor runs at exit.

#include <windows.h>

#include "platform/WinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // A missing medium in a drive must not stop the run with a system box.
    SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    return launcher::CWinApp::RunCurrent();
}
