#include "platform/WinApp.h"

#include <cstdlib>

namespace launcher {
namespace {
CWinApp* g_currentApp = nullptr;
constexpr std::size_t kPathBufferSize = 512;
}  // namespace

CWinApp::CWinApp(Platform& platform) : platform_(platform) { g_currentApp = this; }

CWinApp::~CWinApp() {
    if (g_currentApp == this) g_currentApp = nullptr;
}

CWinApp* CWinApp::Current() { return g_currentApp; }

int CWinApp::RunCurrent() {
    if (CWinApp* app = Current()) app->StartUp();
    return 0;
}

const CodePage& CWinApp::codePage() {
    if (!codePage_) codePage_ = CodePage::FromPlatform(platform_);
    return *codePage_;
}

std::string CWinApp::AppName() {
    char path[kPathBufferSize];
    platform_.ModuleFileName(path, sizeof path);
    std::string name(path);
    const std::size_t slash = FindLastCharacter(name, '\\', codePage());
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = FindLastCharacter(name, '.', codePage());
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

int CWinApp::AppMessageBox(const char* text, unsigned style) {
    if ((style & kMbIconMask) == 0) style |= kMbIconExclamation;
    const std::string caption = AppName();
    return platform_.ShowMessageBox(text, caption.c_str(), style);
}

void CWinApp::EndNow() {
    platform_.EndProcessNow(0);
    std::abort();  // a platform whose process end returned
}

}  // namespace launcher
