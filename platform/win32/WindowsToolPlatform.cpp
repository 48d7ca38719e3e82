// The installer tool's platform on Windows itself. The setup libraries are
// loaded at run time, not imported: neither is one of the system's known
// DLLs, so an import would take a copy planted beside the tool first, and
// the tool must still start on systems without them to say what it needs.

#include <windows.h>
// After windows.h, whose types it uses.
#include <setupapi.h>

#include "platform/ToolPlatform.h"
#include "platform/win32/WindowsPlatform.h"

namespace launcher {
namespace {

static_assert(sizeof(InfLine) == sizeof(INFCONTEXT), "line layout");

constexpr UINT kWorkDone = WM_APP + 1;
constexpr DWORD kInstallFlagForce = 0x00000001;  // newdev.h: INSTALLFLAG_FORCE
constexpr DWORD kErrorGenFailure = 31;
constexpr int kRestartInProgress = 0x00000004;  // SPFILEQ_REBOOT_IN_PROGRESS
constexpr const char kWindowClass[] = "DriverPackageInstaller";

// The functions of setupapi.dll and newdev.dll the tool calls, each one that
// Windows 2000 already has.
struct SetupLibrary {
    HINF(WINAPI* openInf)(PCSTR, PCSTR, DWORD, PUINT);
    void(WINAPI* closeInf)(HINF);
    BOOL(WINAPI* findFirstLine)(HINF, PCSTR, PCSTR, PINFCONTEXT);
    BOOL(WINAPI* findNextLine)(PINFCONTEXT, PINFCONTEXT);
    BOOL(WINAPI* findNextMatchLine)(PINFCONTEXT, PCSTR, PINFCONTEXT);
    DWORD(WINAPI* fieldCount)(PINFCONTEXT);
    BOOL(WINAPI* stringField)(PINFCONTEXT, DWORD, PSTR, DWORD, PDWORD);
    LONG(WINAPI* lineCount)(HINF, PCSTR);
    INT(WINAPI* promptReboot)(HSPFILEQ, HWND, BOOL);
    BOOL(WINAPI* updateDriver)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);
    // XP and later only; null on 2000.
    DWORD(WINAPI* waitNoPendingInstalls)(DWORD);
};

PINFCONTEXT ToContext(InfLine* line) { return reinterpret_cast<PINFCONTEXT>(line); }
PINFCONTEXT ToContext(const InfLine& line) {
    return reinterpret_cast<PINFCONTEXT>(const_cast<InfLine*>(&line));
}

// Why a call failed, read before anything else can change it; a function
// that fails without saying so gets ERROR_GEN_FAILURE.
DWORD FailureCode() {
    const DWORD error = GetLastError();
    return error != 0 ? error : kErrorGenFailure;
}

// Text the setup library gives through a buffer of the caller's: asked for
// its size first, then into a string of that size, once more if it has grown
// meanwhile. 0, or why not (ERROR_NOT_ENOUGH_MEMORY when the string cannot
// grow).
template <typename Call>
DWORD TakeText(ByteString& text, Call call) {
    DWORD required = 0;
    if (!call(nullptr, 0, &required)) {
        const DWORD error = FailureCode();
        if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (required == 0) {
            text.Clear();
            return 0;
        }
        if (!text.Resize(required)) return ERROR_NOT_ENOUGH_MEMORY;
        if (call(text.data(), required, &required)) {
            text.Truncate(required > 0 ? required - 1 : 0);
            return 0;
        }
        const DWORD error = FailureCode();
        if (error != ERROR_INSUFFICIENT_BUFFER) return error;
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

// The window that stands for the tool, and the work behind it.
struct WindowRun {
    ToolWork* work;
    HWND window;
    int result;
};

LRESULT CALLBACK ToolWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kWorkDone:
            // Only here does the loop end: a quit message left in the queue
            // otherwise would close the next message box at once.
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            // The window goes when the work is done, not before: an install
            // cut short leaves a device half set up.
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

DWORD WINAPI WorkThread(void* parameter) {
    WindowRun* run = static_cast<WindowRun*>(parameter);
    run->result = run->work->Run();
    PostMessageA(run->window, kWorkDone, 0, 0);
    return 0;
}

// How the starter asked the first window to be shown: hidden by a start
// with SW_HIDE.
int FirstShowCommand() {
    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWNORMAL;
}

HWND CreateToolWindow(const char* title) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ToolWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassA(&windowClass)) return nullptr;
    // Not resizable but minimizable, so that nothing takes it for a message
    // box of the tool's.
    HWND window = CreateWindowExA(
        0, kWindowClass, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        CW_USEDEFAULT, CW_USEDEFAULT, 440, 110, nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    CreateWindowExA(0, "STATIC", "Installing the driver. Please wait.", WS_CHILD | WS_VISIBLE, 16,
                    20, 400, 40, window, nullptr, instance, nullptr);
    return window;
}

class WindowsToolPlatform final : public ToolPlatform {
public:
    const char* CommandLine() override { return GetCommandLineA(); }

    bool RunsUnderWow64() override {
#ifdef _WIN64
        return false;
#else
        // Windows before XP SP2 lacks the function, and runs no WOW64.
        using IsWow64Function = BOOL(WINAPI*)(HANDLE, PBOOL);
        IsWow64Function isWow64 = nullptr;
        BOOL wow64 = FALSE;
        return TakeFunction(GetModuleHandleA("kernel32.dll"), "IsWow64Process", &isWow64) &&
               isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
    }

    const char* Architecture() override {
#ifdef _WIN64
        return "amd64";
#else
        return "x86";
#endif
    }

    int RunWithWindow(const char* title, ToolWork& work, int failed) override {
        HWND window = CreateToolWindow(title);
        if (!window) return failed;
        ShowWindow(window, FirstShowCommand());
        WindowRun run = {&work, window, failed};
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, WorkThread, &run, 0, &id);
        if (!thread) {
            DestroyWindow(window);
            return failed;
        }
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        return run.result;
    }

    bool LoadSetupLibraries() override {
        // newdev.dll imports setupapi.dll: loaded first, the system's copy is
        // the one newdev binds to.
        HMODULE setup = LoadSystemLibrary("setupapi.dll");
        HMODULE newdev = setup ? LoadSystemLibrary("newdev.dll") : nullptr;
        SetupLibrary& s = library_;
        // Looked up, not required: setupapi exports it from XP on.
        TakeFunction(setup, "CMP_WaitNoPendingInstallEvents", &s.waitNoPendingInstalls);
        return newdev && TakeFunction(setup, "SetupOpenInfFileA", &s.openInf) &&
               TakeFunction(setup, "SetupCloseInfFile", &s.closeInf) &&
               TakeFunction(setup, "SetupFindFirstLineA", &s.findFirstLine) &&
               TakeFunction(setup, "SetupFindNextLine", &s.findNextLine) &&
               TakeFunction(setup, "SetupFindNextMatchLineA", &s.findNextMatchLine) &&
               TakeFunction(setup, "SetupGetFieldCount", &s.fieldCount) &&
               TakeFunction(setup, "SetupGetStringFieldA", &s.stringField) &&
               TakeFunction(setup, "SetupGetLineCountA", &s.lineCount) &&
               TakeFunction(setup, "SetupPromptReboot", &s.promptReboot) &&
               TakeFunction(newdev, "UpdateDriverForPlugAndPlayDevicesA", &s.updateDriver);
    }

    InfHandle OpenInf(const char* path, unsigned* errorLine, std::uint32_t* error) override {
        UINT line = 0;
        HINF inf = library_.openInf(path, nullptr, INF_STYLE_WIN4, &line);
        if (inf != INVALID_HANDLE_VALUE) return inf;
        *errorLine = line;
        *error = GetLastError();
        return nullptr;
    }
    void CloseInf(InfHandle inf) override { library_.closeInf(inf); }

    bool FindFirstLine(InfHandle inf, const char* section, const char* key,
                       InfLine* line) override {
        return library_.findFirstLine(inf, section, key, ToContext(line)) != FALSE;
    }
    bool FindNextLine(InfLine* line) override {
        return library_.findNextLine(ToContext(line), ToContext(line)) != FALSE;
    }
    bool FindNextMatchLine(InfLine* line, const char* key) override {
        return library_.findNextMatchLine(ToContext(line), key, ToContext(line)) != FALSE;
    }
    unsigned FieldCount(const InfLine& line) override {
        return library_.fieldCount(ToContext(line));
    }
    bool Field(const InfLine& line, unsigned index, ByteString& text) override {
        lastSetupError_ = TakeText(text, [&](PSTR buffer, DWORD size, PDWORD required) {
            return library_.stringField(ToContext(line), index, buffer, size, required);
        });
        return lastSetupError_ == 0;
    }
    // -1 for a section the INF lacks, else its number of lines
    // (learn.microsoft.com/windows/win32/api/setupapi/nf-setupapi-setupgetlinecounta).
    bool HasSection(InfHandle inf, const char* section) override {
        return library_.lineCount(inf, section) >= 0;
    }

    std::uint32_t LastSetupError() override { return lastSetupError_; }

    // An installing application is to wait while the system installs
    // devices itself
    // (learn.microsoft.com/windows/win32/api/cfgmgr32/nf-cfgmgr32-cm_waitnopendinginstallevents:
    // a time-out of 0 only tests).
    bool TestPendingInstalls(std::uint32_t* result) override {
        if (!library_.waitNoPendingInstalls) return false;
        *result = library_.waitNoPendingInstalls(0);
        return true;
    }

    // CheckTokenMembership with no token tests the thread's own
    // (learn.microsoft.com/windows/win32/api/securitybaseapi/nf-securitybaseapi-checktokenmembership);
    // advapi32 exports it from 2000 on, and it is looked up so that the tool
    // still starts on the systems it refuses.
    bool UserIsAdministrator() override {
        using CheckMembership = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
        CheckMembership check = nullptr;
        if (!TakeFunction(GetModuleHandleA("advapi32.dll"), "CheckTokenMembership", &check))
            return true;
        // S-1-5-32-544, BUILTIN\Administrators, laid out as a SID is.
        struct {
            BYTE revision;
            BYTE subAuthorityCount;
            SID_IDENTIFIER_AUTHORITY authority;
            DWORD subAuthority[2];
        } administrators = {SID_REVISION,
                            2,
                            SECURITY_NT_AUTHORITY,
                            {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};
        BOOL member = FALSE;
        if (!check(nullptr, &administrators, &member)) return true;
        return member != FALSE;
    }

    bool IsFile(const char* path) override {
        const DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::uint32_t InstallDriver(const char* hardwareId, const char* infPath,
                                bool* restartNeeded) override {
        BOOL restart = FALSE;
        // No owner: the system's own questions during the install (an
        // unsigned driver, a missing file) must reach the user, not hide
        // behind the tool's hidden window. Forced, because the package is
        // there to put its driver on the device, better ranked or not.
        if (!library_.updateDriver(nullptr, hardwareId, infPath, kInstallFlagForce, &restart)) {
            const DWORD error = GetLastError();
            return error != 0 ? error : kErrorGenFailure;
        }
        *restartNeeded = restart != FALSE;
        return 0;
    }

    bool PromptRestart() override {
        const int chosen = library_.promptReboot(nullptr, nullptr, FALSE);
        return chosen != -1 && (chosen & kRestartInProgress) != 0;
    }

    bool ErrorDescription(std::uint32_t code, ByteString& text) override {
        constexpr DWORD kRoom = 512;
        if (!text.Resize(kRoom)) return false;
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text.data(), kRoom, nullptr);
        // The system's text ends with a line end; the box adds its own.
        while (length > 0 && (text.data()[length - 1] == '\n' || text.data()[length - 1] == '\r' ||
                              text.data()[length - 1] == ' '))
            --length;
        text.Truncate(length);
        return length > 0;
    }

    std::uint32_t RunProgram(const char* path, char* commandLine,
                             std::uint32_t* exitStatus) override {
        // With the application's full path the system searches nowhere and
        // starts no shell; the child inherits the error mode.
        // learn.microsoft.com/windows/win32/api/processthreadsapi/nf-processthreadsapi-createprocessa
        STARTUPINFOA own;
        own.cb = sizeof own;
        GetStartupInfoA(&own);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (own.dwFlags & STARTF_USESHOWWINDOW) {
            startup.dwFlags = STARTF_USESHOWWINDOW;
            startup.wShowWindow = own.wShowWindow;
        }
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            const DWORD error = GetLastError();
            return error != 0 ? error : kErrorGenFailure;
        }
        CloseHandle(process.hThread);
        // This is the work thread: the window's thread serves the messages
        // meanwhile.
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 0;
        const BOOL known = GetExitCodeProcess(process.hProcess, &status);
        const DWORD error = known ? 0 : GetLastError();
        CloseHandle(process.hProcess);
        if (!known) return error != 0 ? error : kErrorGenFailure;
        *exitStatus = status;
        return 0;
    }

private:
    SetupLibrary library_ = {};
    DWORD lastSetupError_ = 0;
};

}  // namespace

ToolPlatform& SystemToolPlatform() {
    static WindowsToolPlatform platform;
    return platform;
}

}  // namespace launcher
