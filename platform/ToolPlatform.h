#pragma once
// What the installer tool needs of the system beyond the operations it
// shares with the launcher (Platform.h): its command line, a window that
// stands for it while it works, the system's setup library and the driver
// install itself. The tool's logic reaches these only through this
// interface, so it can be replayed against a scripted machine on any host.

#include <cstdint>

#include "platform/ByteString.h"

namespace launcher {

// An open setup-information file, and a place in it: a line of a section,
// laid out as the setup library keeps it.
using InfHandle = void*;
struct InfLine {
    void* inf;
    void* currentInf;
    unsigned section;
    unsigned line;
};

// The work the tool does while its window stands.
class ToolWork {
public:
    virtual int Run() = 0;

protected:
    ~ToolWork() = default;
};

class ToolPlatform {
public:
    virtual ~ToolPlatform() = default;

    // The process's whole command line, program name included.
    virtual const char* CommandLine() = 0;
    // Whether this is a 32-bit process on 64-bit Windows.
    virtual bool RunsUnderWow64() = 0;
    // The processor as setup-information files name it: "x86" or "amd64".
    virtual const char* Architecture() = 0;

    // Creates a top-level window titled `title`, shown as the process was
    // asked to show its first window (hidden when started hidden), and runs
    // `work` on a second thread while this one serves the window's
    // messages, so that a starter waiting for the tool to become idle goes
    // on at once. The window goes when the work is done. Returns the work's
    // result, or `failed` when the window or the thread cannot be had (the
    // work has not run then).
    virtual int RunWithWindow(const char* title, ToolWork& work, int failed) = 0;

    // Loads the setup libraries from the system directory; false when one
    // is missing there or lacks a function the tool calls.
    virtual bool LoadSetupLibraries() = 0;

    // --- setup-information files, through the setup library ---
    // Null on failure, with the system's error code and, for a syntax
    // error, the line.
    virtual InfHandle OpenInf(const char* path, unsigned* errorLine, std::uint32_t* error) = 0;
    virtual void CloseInf(InfHandle inf) = 0;
    // The first line of `section` whose key is `key`, or its first line
    // when `key` is null.
    virtual bool FindFirstLine(InfHandle inf, const char* section, const char* key,
                               InfLine* line) = 0;
    virtual bool FindNextLine(InfLine* line) = 0;
    virtual bool FindNextMatchLine(InfLine* line, const char* key) = 0;
    virtual unsigned FieldCount(const InfLine& line) = 0;
    // Field `index` of the line (0 is its key), with string keys replaced;
    // false when there is no such field or no memory for it.
    virtual bool Field(const InfLine& line, unsigned index, ByteString& text) = 0;
    // Whether the INF has the section, lines or not.
    virtual bool HasSection(InfHandle inf, const char* section) = 0;

    // --- what 2000 and XP document beyond the install itself ---
    // Why the last Field failed, as the setup library
    // set the last error then (ERROR_NOT_ENOUGH_MEMORY also when the tool's
    // own memory ran out).
    virtual std::uint32_t LastSetupError() = 0;
    // Tests without waiting whether device installations are in progress (a
    // Found New Hardware wizard, say): false where the system cannot tell
    // (2000), else true with 0 (none), 0x102 (WAIT_TIMEOUT: some) or
    // 0xFFFFFFFF (WAIT_FAILED) in `result`.
    virtual bool TestPendingInstalls(std::uint32_t* result) = 0;
    // Whether the user's token holds the Administrators group; true where the
    // system cannot tell.
    virtual bool UserIsAdministrator() = 0;

    // Whether `path` names a file (not a directory).
    virtual bool IsFile(const char* path) = 0;

    // Installs the driver of the setup information at `infPath` for every
    // device with this hardware ID. 0, or the system's error code.
    virtual std::uint32_t InstallDriver(const char* hardwareId, const char* infPath,
                                        bool* restartNeeded) = 0;
    // Asks the user whether to restart Windows now, and restarts it if so;
    // true when the restart is under way.
    virtual bool PromptRestart() = 0;
    // The system's own words for an error code; false when it has none.
    virtual bool ErrorDescription(std::uint32_t code, ByteString& text) = 0;

    // --- the hand-off to the package's 64-bit tool, under WOW64 ---
    // Starts the program at the full path `path` (no search, no shell) with
    // `commandLine` (which the system may write into), in this process's
    // error mode and shown as this process was asked to show its first
    // window, and waits until it ends. 0 with its exit status, or the
    // system's error code when it did not start.
    virtual std::uint32_t RunProgram(const char* path, char* commandLine,
                                     std::uint32_t* exitStatus) = 0;
};

// The tool's platform in the running process (defined by the Windows
// implementation).
ToolPlatform& SystemToolPlatform();

}  // namespace launcher
