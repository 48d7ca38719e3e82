#include "app/LauncherApp.h"

namespace launcher {
namespace {
// The buffer size the path is read into; a longer path comes back cut.
constexpr std::size_t kModulePathSize = 512;
}  // namespace

std::string DirectoryOf(const std::string& path, const CodePage& cp) {
    const std::size_t slash = FindLastCharacter(path, '\\', cp);
    if (slash == std::string::npos) return path;
    return path.substr(0, slash + 1);
}

bool CLauncherApp::StartUp() {
    platform().InitCommonControls();

    char path[kModulePathSize];
    platform().ModuleFileName(path, sizeof path);
    installDir = DirectoryOf(path, codePage());

    DetectOsType(&osType);
    if (osType == OsWin2000 || osType == OsWinXP) RunInstaller();
    return false;
}

}  // namespace launcher
