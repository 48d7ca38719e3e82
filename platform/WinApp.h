#pragma once
// The small part of an application framework that the launcher relies on: one
// process-wide application object, its start-up call, the application-name
// message box and the immediate end of the process.

#include <optional>
#include <string>

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

    // The executable's file name without its directory and extension.
    std::string AppName();
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

private:
    Platform& platform_;
    std::optional<CodePage> codePage_;
};

}  // namespace launcher
