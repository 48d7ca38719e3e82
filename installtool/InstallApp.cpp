#include "installtool/InstallApp.h"

#include "installtool/CommandLine.h"
#include "payload/Texts.h"
#include "platform/PackageFiles.h"
#include "platform/Paths.h"

namespace installtool {

using payload::AppendHex;
using payload::OsVersion;

using launcher::ByteString;

namespace {

constexpr unsigned kMbIconError = 0x00000010u;
// The tool was started by the program in front, so its box may come to the
// front too rather than wait behind that program's windows.
constexpr unsigned kMbSetForeground = 0x00010000u;
constexpr unsigned kBoxStyle = launcher::kMbOk | kMbIconError | kMbSetForeground;
constexpr unsigned kMbRetryCancel = 0x00000005u;
constexpr int kIdRetry = 4;
constexpr std::uint32_t kWaitTimeout = 0x102;  // WAIT_TIMEOUT: installs pending

constexpr const char* kNotAdministratorText =
    "Installing a driver needs an administrator's rights. Log on as an administrator, then "
    "start the installation again.\n\nNothing was changed.";

// What RunWithWindow gives when it could not run the work at all.
constexpr int kNoWindow = -1;

constexpr const char* kNoMemoryText = "The installer has run out of memory.";

constexpr const char* kUsage =
    "\n\nUsage: install.exe INF \"PCI\\HARDWARE-ID\"\n"
    "INF is the full path of the driver's setup information, HARDWARE-ID the device's "
    "PCI hardware ID, for example:\n"
    "install.exe D:\\pkg\\drv\\stordrv.inf \"PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\"\n\n"
    "Nothing was changed.";

constexpr const char* kWow64Text = "A 32-bit program cannot install drivers on 64-bit Windows.";

constexpr const char* kNoTool64Text =
    "This is 64-bit Windows, and the package's 64-bit installer tool amd64\\install.exe is "
    "missing. Nothing was installed.";
constexpr const char* kNoStartText =
    "This is 64-bit Windows, and the package's 64-bit installer tool could not be started, "
    "so nothing was installed: ";

const char* ProblemText(ArgumentProblem problem) {
    switch (problem) {
        case ArgumentProblem::Missing:
            return "The command line lacks the setup information or the hardware ID.";
        case ArgumentProblem::Extra:
            return "The command line holds more than the setup information and the hardware ID.";
        case ArgumentProblem::RelativeInf:
            return "The path of the setup information is not a full path.";
        case ArgumentProblem::NotPci:
            return "The hardware ID does not start with PCI\\.";
        default:
            return "";
    }
}

struct KnownError {
    std::uint32_t code;
    const char* text;
};

// What the install is documented to fail with, in a user's words.
constexpr KnownError kKnownErrors[] = {
    {0xE000020Bu, "No device with this hardware ID is present in this computer."},
    {0xE0000203u, "The setup information holds no driver for this device."},
    {0xE0000228u, "The setup information holds no driver for this device."},
    {0xE0000235u, kWow64Text},
    {5u, "Installing a driver needs an administrator's rights."},
    {1223u, "The installation was cancelled."},
    {2u, "A file of the driver package was not found."},
    {3u, "A folder of the driver package was not found."},
    {0xE000022Fu, "The package's catalog does not cover its setup information."},
    {0xE0000101u, "The setup information lacks a section that it refers to."},
    {0xE0000102u, "The setup information lacks a line that it refers to."},
    {0xE0000003u, "The setup information has a syntax error."},
    {0xE0000100u, "The setup information is not of the Windows NT kind."},
    {0xE0000219u, "The setup information installs no service for the device."},
    {0xE000022Du, "The driver is not one for Windows 2000 or XP."},
    {0xE0000234u, "The driver is not one for this processor."},
    {1275u, "Windows blocks this driver from loading."},
};

}  // namespace

bool InstallFailureText(std::uint32_t code, launcher::Platform& platform,
                        launcher::ToolPlatform& tool, ByteString& text) {
    bool ok = text.Assign("The driver could not be installed.\n\n");
    const char* known = nullptr;
    for (const KnownError& e : kKnownErrors)
        if (e.code == code) known = e.text;
    ByteString words(platform);
    if (known) {
        ok = text.Append(known) && ok;
    } else if (tool.ErrorDescription(code, words)) {
        ok = text.Append(words.view()) && ok;
    } else {
        ok = text.Append("Windows gives no reason.") && ok;
    }
    return text.Append("\n(error ") && AppendHex(text, code) && text.Append(')') && ok;
}

bool CInstallApp::StartUp() {
    const ByteString* path = ModulePath();
    // The launcher waits for a window titled with the tool's own path: with
    // no path there is no such window, and the tool does nothing.
    if (!path) {
        SetExitStatus(Fail(kNoMemory, "The installer cannot learn its own path."));
        return false;
    }
    const int status = tool_.RunWithWindow(path->c_str(), *this, kNoWindow);
    SetExitStatus(status == kNoWindow ? Fail(kNoMemory, kNoMemoryText) : status);
    return false;
}

int CInstallApp::Run() {
    launcher::VersionRecord version;
    if (!QueryVersion(&version) || version.platformId != launcher::kPlatformNt ||
        version.majorVersion < 5)
        return Fail(kWrongWindows, "This driver package needs Windows 2000 or XP.");

    ToolArguments arguments(platform());
    const ArgumentProblem problem = ReadToolArguments(tool_.CommandLine(), codePage(), arguments);
    if (problem == ArgumentProblem::NoMemory) return Fail(kNoMemory, kNoMemoryText);
    if (problem != ArgumentProblem::None)
        return Fail(kWrongCommandLine, {ProblemText(problem), kUsage});
    if (tool_.RunsUnderWow64()) return HandOff(arguments);
    if (!tool_.UserIsAdministrator()) return Fail(kInstallFailed, kNotAdministratorText);

    if (!tool_.LoadSetupLibraries())
        return Fail(kNoSetupLibrary,
                    "Windows' setup library (setupapi.dll and newdev.dll in the system "
                    "directory) cannot be loaded.");
    const OsVersion os{version.majorVersion, version.minorVersion, version.productType,
                       version.suiteMask};
    return Install(arguments.inf.c_str(), arguments.hardwareId.c_str(), os);
}

int CInstallApp::Install(const char* infPath, const char* hardwareId, const OsVersion& os) {
    ByteString problems(platform());
    PayloadCheck payload(tool_, platform(), codePage(), os);
    switch (payload.Check(infPath, hardwareId, problems)) {
        case PayloadResult::Complete:
            break;
        case PayloadResult::NoMemory:
            return Fail(kNoMemory, kNoMemoryText);
        default:
            // Each problem ends its line; the box needs no empty last one.
            problems.Truncate(problems.size() - 1);
            return Fail(kPackageIncomplete, {"The driver package is incomplete, so nothing was "
                                             "installed and nothing was changed.\n\n",
                                             problems.view()});
    }

    const int waited = WaitForWindowsOwnInstalls();
    if (waited != 0) return waited;

    // Windows' own boxes during the install (a missing disk, a driver that
    // fails to load) are for the user, as they would be without the tool.
    platform().RestoreStartErrorMode();
    bool restart = false;
    std::uint32_t code = tool_.InstallDriver(hardwareId, infPath, &restart);
    if (code != 0) {
        ByteString text(platform());
        if (!InstallFailureText(code, platform(), tool_, text))
            return Fail(kNoMemory, kNoMemoryText);
        return Fail(kInstallFailed, text.c_str());
    }
    if (!restart) return kInstalled;
    return tool_.PromptRestart() ? kInstalled : kRestartPending;
}

// A 32-bit program cannot install drivers on 64-bit Windows, so the
// package's 64-bit tool does it. This one keeps its window, which the
// launcher waits for, until that one has ended, and ends with its status.
int CInstallApp::HandOff(const ToolArguments& arguments) {
    ByteString path(platform());
    ByteString line(platform());
    // The window stands, so the path is known.
    const std::string_view directory = DirectoryOf(ModulePath()->view(), codePage());
    if (!path.Assign(directory) || !path.Append(launcher::package::kTool64Path))
        return Fail(kNoMemory, kNoMemoryText);
    if (directory.empty() || !tool_.IsFile(path.c_str())) return Fail(kWindows64, kNoTool64Text);
    // The program's name takes no escapes, and a path holds no quote.
    if (!line.Assign("\"") || !line.Append(path.view()) || !line.Append("\" ") ||
        !AppendQuotedArgument(line, arguments.inf.view(), codePage()) || !line.Append(' ') ||
        !AppendQuotedArgument(line, arguments.hardwareId.view(), codePage()))
        return Fail(kNoMemory, kNoMemoryText);

    // A child inherits the error mode: the system's own boxes reach the
    // user as they would without this tool in between.
    // learn.microsoft.com/windows/win32/api/errhandlingapi/nf-errhandlingapi-seterrormode
    platform().RestoreStartErrorMode();
    std::uint32_t status = 0;
    const std::uint32_t error = tool_.RunProgram(path.c_str(), line.data(), &status);
    if (error == 0) return static_cast<int>(status);

    ByteString text(platform());
    ByteString words(platform());
    bool ok = text.Assign(kNoStartText) && text.Append(path.view()) && text.Append(".\n\n");
    ok = text.Append(tool_.ErrorDescription(error, words) ? words.view()
                                                          : "Windows gives no reason.") &&
         ok;
    ok = text.Append("\n(error ") && AppendHex(text, error) && text.Append(')') && ok;
    return Fail(kWindows64, ok ? text.c_str() : kNoStartText);
}

// An installing application is to let the system's own device installs end
// first: on XP, the Found New Hardware wizard opens for a card just fitted.
// Where the system cannot tell (2000), or the test fails, the tool goes on.
int CInstallApp::WaitForWindowsOwnInstalls() {
    std::uint32_t result = 0;
    while (tool_.TestPendingInstalls(&result) && result == kWaitTimeout) {
        const int answer = platform().ShowMessageBox(
            "Windows is installing a device itself: its Found New Hardware wizard may be open. "
            "Finish or cancel that wizard, then choose Retry.\n\nCancel ends this installation, "
            "and nothing is changed.",
            kCaption, kMbRetryCancel | launcher::kMbIconExclamation | kMbSetForeground);
        if (answer != kIdRetry) return kCancelled;
    }
    return 0;
}

int CInstallApp::Fail(int status, const char* text) {
    platform().ShowMessageBox(text, kCaption, kBoxStyle);
    return status;
}

int CInstallApp::Fail(int status, std::initializer_list<std::string_view> pieces) {
    ByteString text(platform());
    bool ok = true;
    for (const std::string_view piece : pieces) ok = text.Append(piece) && ok;
    // Without memory for the whole text its first piece still says why.
    return Fail(status, ok ? text.c_str() : pieces.begin()->data());
}

}  // namespace installtool
