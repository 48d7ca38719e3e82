#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ByteString.h"
#include "platform/Paths.h"
#include "platform/WinApp.h"
#include "probes/OsType.h"

namespace launcher {

class CLauncherApp : public CWinApp {
public:
    explicit CLauncherApp(Platform& platform)
        : CWinApp(platform), installDir(platform), deviceKey(platform) {}

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
    // Empty while the executable's own directory is unknown.
    ByteString installDir;
    ByteString deviceKey;

private:
    // Fills the identifier table from listText; false without memory for it.
    bool IndexSupportedIds();
    // Walks the PCI enumeration key; true when `name` holds the first
    // subkey name that contains a listed identifier.
    bool ScanPciDevices(char* name);
    // The list cannot be read or held, or nothing can be done with it: the
    // box, then the end of the process.
    [[noreturn]] void EndWithoutList();
};

}  // namespace launcher
