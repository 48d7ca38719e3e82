#include "app/LauncherApp.h"

namespace launcher {

bool CLauncherApp::StartUp() {
    platform().InitCommonControls();

    // Without its own directory the launcher reads and starts nothing later:
    // installDir stays empty (a failed assignment leaves it so too).
    if (const ByteString* path = ModulePath())
        installDir.Assign(DirectoryOf(path->view(), codePage()));

    DetectOsType(&osType);
    if (osType == OsWin2000 || osType == OsWinXP) RunInstaller();
    return false;
}

void CLauncherApp::EndWithoutList() {
    AppMessageBox("key.ini not found !!", kMbOk);
    EndNow();
}

}  // namespace launcher
