#include "probes/DeviceMatch.h"

#include <cstring>

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

int FindMatchingId(std::string_view deviceName, const std::vector<std::string>& ids,
                   const CodePage& cp) {
    for (std::size_t j = 0; j < ids.size(); ++j)
        if (ContainsAtBoundary(deviceName, ids[j], cp)) return static_cast<int>(j);
    return -1;
}

bool CLauncherApp::FindSupportedDevice() {
    LoadSupportedIds();

    Platform& p = platform();
    RegistryKey key = 0;
    if (p.OpenRegistryKey(RegistryRoot::LocalMachine, kPciEnumPath, kKeyRead, &key) != 0)
        return false;
    RegistryKeyGuard guard(p, key);

    std::uint32_t count = 0;
    if (p.QuerySubkeyCount(key, &count) != 0) return false;

    char name[kSubkeyNameSize];
    for (std::uint32_t i = 0; i < count; ++i) {
        // A failed read ends the scan: the enumeration cannot be trusted past it.
        if (p.EnumSubkey(key, i, name, sizeof name) != 0) return false;
        const std::string_view subkey(name, strnlen(name, sizeof name));
        if (FindMatchingId(subkey, supportedIds, codePage()) >= 0) {
            deviceKey.assign(subkey.data(), subkey.size());
            deviceKey += '"';
            return true;
        }
    }
    return false;
}

}  // namespace launcher
