#pragma once

#include <cstdint>
#include <string>

#include "platform/WinApp.h"
#include "probes/OsType.h"

namespace launcher {

class CLauncherApp : public CWinApp {
public:
    explicit CLauncherApp(Platform& platform) : CWinApp(platform) {}

    // One whole run; always false, since nothing remains to do afterwards.
    bool StartUp() override;

    // Environment probes.
    bool DetectOsType(OsType* code);
    std::int32_t FileLengthPlusOne(FileStream stream);
    int ReadWholeFile(const char* path);
    void LoadSupportedIds();
    bool FindSupportedDevice();

    // Installer hand-off.
    void RunInstaller();

    OsType osType = OsNone;
    std::string installDir;
    std::string deviceKey;
};

// The directory part of an executable path, with its final backslash.
std::string DirectoryOf(const std::string& path, const CodePage& cp);

}  // namespace launcher
