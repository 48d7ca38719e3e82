#pragma once
// The installer tool: installs the driver of a package's setup information
// for the device the launcher chose. A top-level window titled with the
// tool's own full path stands while it works, which is what the launcher
// waits for; every failure is told in a box and in the exit status.

#include <cstdint>

#include "installtool/CommandLine.h"
#include "installtool/Payload.h"
#include "platform/ToolPlatform.h"
#include "platform/WinApp.h"

namespace installtool {

// Exit statuses (listed in the README).
constexpr int kInstalled = 0;
constexpr int kInstallFailed = 1;
constexpr int kWrongCommandLine = 2;
constexpr int kPackageIncomplete = 3;
constexpr int kWrongWindows = 4;
// 64-bit Windows, and the package's 64-bit tool is missing or does not start.
constexpr int kWindows64 = 5;
constexpr int kNoSetupLibrary = 6;
constexpr int kNoMemory = 7;
// The user cancelled while Windows was installing a device itself.
constexpr int kCancelled = 8;
// Installed; the user chose not to restart yet.
constexpr int kRestartPending = 3010;

constexpr const char* kCaption = "Driver installation";

// The box's text for an install that failed with the system's `code`.
bool InstallFailureText(std::uint32_t code, launcher::Platform& platform,
                        launcher::ToolPlatform& tool, launcher::ByteString& text);

class CInstallApp : public launcher::CWinApp, private launcher::ToolWork {
public:
    CInstallApp(launcher::Platform& platform, launcher::ToolPlatform& tool)
        : CWinApp(platform), tool_(tool) {}

    // The window, the work behind it, and the exit status.
    bool StartUp() override;

private:
    // Everything after the window stands; gives the exit status.
    int Run() override;
    int Install(const char* infPath, const char* hardwareId, const payload::OsVersion& os);
    // Under WOW64: the package's 64-bit tool does the work.
    int HandOff(const ToolArguments& arguments);
    // 0 once Windows installs no device itself, else the status to end with.
    int WaitForWindowsOwnInstalls();
    // The box, then the status it stands for.
    int Fail(int status, const char* text);
    int Fail(int status, std::initializer_list<std::string_view> pieces);

    launcher::ToolPlatform& tool_;
};

}  // namespace installtool
