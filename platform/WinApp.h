#pragma once
// The small part of an application framework that the launcher relies on: one
// process-wide application object, its start-up call, the application-name
// message box and the immediate end of the process.

#include <string_view>

#include "platform/ByteString.h"
#include "platform/Mbcs.h"
#include "platform/Platform.h"

namespace launcher {

class CWinApp {
public:
    explicit CWinApp(Platform& platform);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The whole work of the application. Returning false means nothing is
    // left to do: no message loop runs and the process ends.
    virtual bool StartUp() = 0;

    // The running executable's full path, asked for once; null when it
    // cannot be had (the system failed, or memory for it ran out).
    const ByteString* ModulePath();
    // The executable's file name without its directory and extension; empty
    // when the path cannot be had.
    std::string_view AppName();
    // The system's version record: the extended one, else the basic one
    // (systems before NT 4 SP6 know only that); false when neither comes.
    bool QueryVersion(VersionRecord* record);
    // A modal box captioned with the application name, with no owner. The
    // exclamation icon is added when the style names none.
    int AppMessageBox(const char* text, unsigned style);
    // Ends the process at once with status 0; static objects are destroyed.
    [[noreturn]] void EndNow();

    Platform& platform() { return platform_; }
    const CodePage& codePage();

    // The application object of this process, if one was constructed.
    static CWinApp* Current();
    // What the process entry does once the application object exists: run
    // StartUp once and give the process's exit status.
    static int RunCurrent();

protected:
    // The status the process ends with after StartUp; 0 unless set.
    void SetExitStatus(int status) { exitStatus_ = status; }

private:
    bool FetchModulePath();

    Platform& platform_;
    int exitStatus_ = 0;
    bool codePageKnown_ = false;
    CodePage codePage_;
    enum class PathState { NotAsked, Known, Unknown } pathState_ = PathState::NotAsked;
    ByteString modulePath_;
};

}  // namespace launcher
