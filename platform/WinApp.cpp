#include "platform/WinApp.h"

#include "platform/Bytes.h"

namespace launcher {
namespace {
CWinApp* g_currentApp = nullptr;
// The first buffer the path is asked into; a longer path is asked for again
// with twice the room, up to a size no Windows path reaches.
constexpr std::size_t kFirstPathBufferSize = 512;
constexpr std::size_t kLargestPathBufferSize = 1 << 17;
}  // namespace

CWinApp::CWinApp(Platform& platform) : platform_(platform), modulePath_(platform) {
    g_currentApp = this;
}

CWinApp::~CWinApp() {
    if (g_currentApp == this) g_currentApp = nullptr;
}

CWinApp* CWinApp::Current() { return g_currentApp; }

int CWinApp::RunCurrent() {
    CWinApp* app = Current();
    if (!app) return 0;
    app->StartUp();
    return app->exitStatus_;
}

const CodePage& CWinApp::codePage() {
    if (!codePageKnown_) {
        codePage_ = CodePage::FromPlatform(platform_);
        codePageKnown_ = true;
    }
    return codePage_;
}

bool CWinApp::FetchModulePath() {
    for (std::size_t size = kFirstPathBufferSize; size <= kLargestPathBufferSize; size *= 2) {
        if (!modulePath_.Resize(size)) return false;
        const std::size_t length = platform_.ModuleFileName(modulePath_.data(), size);
        if (length == 0) return false;
        if (length < size) {
            modulePath_.Truncate(length);
            return true;
        }
    }
    return false;
}

const ByteString* CWinApp::ModulePath() {
    if (pathState_ == PathState::NotAsked) {
        const bool known = FetchModulePath() && !modulePath_.empty();
        pathState_ = known ? PathState::Known : PathState::Unknown;
        if (!known) modulePath_.Clear();
    }
    return pathState_ == PathState::Known ? &modulePath_ : nullptr;
}

std::string_view CWinApp::AppName() {
    const ByteString* path = ModulePath();
    if (!path) return std::string_view();
    std::string_view name = path->view();
    const std::size_t slash = FindLastCharacter(name, '\\', codePage());
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    const std::size_t dot = FindLastCharacter(name, '.', codePage());
    if (dot != std::string_view::npos) name.remove_suffix(name.size() - dot);
    return name;
}

bool CWinApp::QueryVersion(VersionRecord* record) {
    FillBytes(record, 0, sizeof *record);
    record->infoSize = kVersionRecordSize;
    if (platform_.GetVersionRecord(record)) return true;
    // The rest of the record is not cleared again.
    record->infoSize = kBasicVersionRecordSize;
    return platform_.GetVersionRecord(record);
}

int CWinApp::AppMessageBox(const char* text, unsigned style) {
    if ((style & kMbIconMask) == 0) style |= kMbIconExclamation;
    // Without memory for the caption the box still shows: its text is what
    // the user needs.
    ByteString caption(platform_);
    caption.Assign(AppName());
    return platform_.ShowMessageBox(text, caption.c_str(), style);
}

void CWinApp::EndNow() {
    // The call is virtual, so the compiler cannot see that it never returns.
    for (;;) platform_.EndProcessNow(0);
}

}  // namespace launcher
