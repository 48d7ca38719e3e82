#include "app/LauncherApp.h"

namespace launcher {
namespace {
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// C:\... or \\server\... (also \\?\C:\...); anything else would be resolved
// against the current directory.
bool IsFullDirectory(const std::string& dir) {
    if (dir.size() < 3) return false;
    if (IsAsciiLetter(dir[0]) && dir[1] == ':' && dir[2] == '\\') return true;
    return dir[0] == '\\' && dir[1] == '\\' && dir[2] != '\\';
}
}  // namespace

std::string DirectoryOf(const std::string& path, const CodePage& cp) {
    const std::size_t slash = FindLastCharacter(path, '\\', cp);
    if (slash == std::string::npos) return std::string();
    std::string dir = path.substr(0, slash + 1);
    if (!IsFullDirectory(dir)) dir.clear();
    return dir;
}

bool CLauncherApp::StartUp() {
    platform().InitCommonControls();

    // Without its own directory the launcher reads and starts nothing later:
    // installDir stays empty.
    const std::string* path = ModulePath();
    if (!path || !WithMemory([&] { installDir = DirectoryOf(*path, codePage()); }))
        installDir.clear();

    DetectOsType(&osType);
    if (osType == OsWin2000 || osType == OsWinXP) RunInstaller();
    return false;
}

void CLauncherApp::EndWithoutList() {
    AppMessageBox("key.ini not found !!", kMbOk);
    EndNow();
}

}  // namespace launcher
