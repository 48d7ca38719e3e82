#include "probes/OsType.h"

#include "app/LauncherApp.h"

namespace launcher {
namespace {
// One build number splits both families: 98 SE on platform 1, and the 5.0
// release line from later NT 5.x builds on platform 2.
constexpr std::uint32_t kBuild2222 = 2222;

OsType ClassifyWindowsFamily(const VersionRecord& r) {
    if (r.majorVersion < 4 || (r.majorVersion == 4 && r.minorVersion == 0)) return OsWin95;
    // This family keeps the version in the high 16 bits of the build number.
    const std::uint16_t build = static_cast<std::uint16_t>(r.buildNumber & 0xFFFFu);
    if (build > kBuild2222) return OsWinMe;
    return build == kBuild2222 ? OsWin98SE : OsWin98;
}

OsType ClassifyNtFamily(const VersionRecord& r) {
    if (r.majorVersion <= 4) return OsWinNT4;
    if (r.majorVersion == 5) return r.buildNumber <= kBuild2222 ? OsWin2000 : OsWinXP;
    return OsNone;
}
}  // namespace

bool ClassifyVersion(const VersionRecord& record, OsType* type) {
    switch (record.platformId) {
        case kPlatformWin32s:
            *type = OsWin32s;
            return true;
        case kPlatformWindows:
            *type = ClassifyWindowsFamily(record);
            return true;
        case kPlatformNt:
            *type = ClassifyNtFamily(record);
            return true;
        default:
            return false;
    }
}

bool CLauncherApp::DetectOsType(OsType* code) {
    VersionRecord record;
    // These two boxes show "Message" as their text and the error as their
    // caption. It looks swapped, and it is what users of the launcher have
    // always seen and described in their reports, so it stays.
    if (!QueryVersion(&record)) {
        platform().ShowMessageBox("Message", "Check OS type Error !", kMbOk);
        return false;
    }
    *code = OsNone;
    if (!ClassifyVersion(record, code)) {
        platform().ShowMessageBox("Message", "Unknown OS type !", kMbOk);
        return false;
    }
    return true;
}

}  // namespace launcher
