#include "platform/WinApp.h"

#include <cstdlib>

namespace launcher {
namespace {
CWinApp* g_currentApp = nullptr;
// The first buffer the path is asked into; a longer path is asked for again
// with twice the room, up to a size no Windows path reaches.
constexpr std::size_t kFirstPathBufferSize = 512;
constexpr std::size_t kLargestPathBufferSize = 1 << 17;
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

bool CWinApp::FetchModulePath() {
    std::string& path = modulePath_;
    for (std::size_t size = kFirstPathBufferSize; size <= kLargestPathBufferSize; size *= 2) {
        path.assign(size, '\0');
        const std::size_t length = platform_.ModuleFileName(&path[0], size);
        if (length == 0) return false;
        if (length < size) {
            path.resize(length);
            return true;
        }
    }
    return false;
}

const std::string* CWinApp::ModulePath() {
    if (pathState_ == PathState::NotAsked) {
        bool fetched = false;
        const bool known =
            WithMemory([&] { fetched = FetchModulePath(); }) && fetched && !modulePath_.empty();
        pathState_ = known ? PathState::Known : PathState::Unknown;
        if (!known) modulePath_ = std::string();
    }
    return pathState_ == PathState::Known ? &modulePath_ : nullptr;
}

std::string CWinApp::AppName() {
    const std::string* path = ModulePath();
    if (!path) return std::string();
    std::string_view name(*path);
    const std::size_t slash = FindLastCharacter(name, '\\', codePage());
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const std::size_t dot = FindLastCharacter(name, '.', codePage());
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name);
}

int CWinApp::AppMessageBox(const char* text, unsigned style) {
    if ((style & kMbIconMask) == 0) style |= kMbIconExclamation;
    // Without memory for the caption the box still shows: its text is what
    // the user needs.
    std::string caption;
    WithMemory([&] { caption = AppName(); });
    return platform_.ShowMessageBox(text, caption.c_str(), style);
}

void CWinApp::EndNow() {
    platform_.EndProcessNow(0);
    std::abort();  // a platform whose process end returned
}

}  // namespace launcher
