#include "app/LauncherApp.h"

namespace launcher {
namespace {
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// C:\... or \\server\... (also \\?\C:\...); anything else would be resolved
// against the current directory.
bool IsFullDirectory(std::string_view dir) {
    if (dir.size() < 3) return false;
    if (IsAsciiLetter(dir[0]) && dir[1] == ':' && dir[2] == '\\') return true;
    return dir[0] == '\\' && dir[1] == '\\' && dir[2] != '\\';
}
}  // namespace

std::string_view DirectoryOf(std::string_view path, const CodePage& cp) {
    const std::size_t slash = FindLastCharacter(path, '\\', cp);
    if (slash == std::string_view::npos) return std::string_view();
    const std::string_view dir(path.data(), slash + 1);
    return IsFullDirectory(dir) ? dir : std::string_view();
}

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
