#include "probes/DeviceMatch.h"

#include "app/LauncherApp.h"
#include "probes/SupportedIds.h"

namespace launcher {
namespace {
// Closes the enumeration key on every way out of the scan.
class RegistryKeyGuard {
public:
    RegistryKeyGuard(Platform& platform, RegistryKey key) : platform_(platform), key_(key) {}
    ~RegistryKeyGuard() { platform_.CloseRegistryKey(key_); }
    RegistryKeyGuard(const RegistryKeyGuard&) = delete;
    RegistryKeyGuard& operator=(const RegistryKeyGuard&) = delete;

private:
    Platform& platform_;
    RegistryKey key_;
};
}  // namespace

int FindMatchingId(std::string_view deviceName, const char* text, const SupportedId* ids,
                   std::size_t count, const CodePage& cp) {
    for (std::size_t j = 0; j < count; ++j)
        if (ContainsAtBoundary(deviceName, IdText(text, ids[j]), cp)) return static_cast<int>(j);
    return -1;
}

bool CLauncherApp::ScanPciDevices(char* name) {
    Platform& p = platform();
    RegistryKey key = 0;
    if (p.OpenRegistryKey(RegistryRoot::LocalMachine, kPciEnumPath, kKeyRead, &key) != 0)
        return false;
    RegistryKeyGuard guard(p, key);

    std::uint32_t count = 0;
    if (p.QuerySubkeyCount(key, &count) != 0) return false;

    const std::size_t idCount = static_cast<std::size_t>(supportedIdCount);
    for (std::uint32_t i = 0; i < count; ++i) {
        // A failed read ends the scan: the enumeration cannot be trusted past it.
        if (p.EnumSubkey(key, i, name, kSubkeyNameSize) != 0) return false;
        name[kSubkeyNameSize - 1] = '\0';
        if (FindMatchingId(name, listText, supportedIds, idCount, codePage()) >= 0) return true;
    }
    return false;
}

bool CLauncherApp::FindSupportedDevice() {
    LoadSupportedIds();

    char name[kSubkeyNameSize];
    if (!ScanPciDevices(name)) return false;
    if (!deviceKey.Assign(name) || !deviceKey.Append('"')) EndWithoutList();
    return true;
}

}  // namespace launcher
