#include "pkgcheck/machines/ThisMachine.h"

#ifdef _WIN32

#include <windows.h>

#include "platform/Platform.h"
#include "probes/DeviceMatch.h"

namespace pkgcheck {
namespace {

// Longer than any registry key name, so each name arrives whole and the
// replay can judge it against the launcher's own buffer.
constexpr std::uint32_t kNameBufferSize = 1024;

class KeyGuard {
public:
    KeyGuard(launcher::Platform& platform, launcher::RegistryKey key)
        : platform_(platform), key_(key) {}
    ~KeyGuard() { platform_.CloseRegistryKey(key_); }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;

private:
    launcher::Platform& platform_;
    launcher::RegistryKey key_;
};

}  // namespace

DeviceList ReadThisMachine() {
    launcher::Platform& p = launcher::SystemPlatform();
    DeviceList list;
    list.format = "registry, HKEY_LOCAL_MACHINE\\" + std::string(launcher::kPciEnumPath);
    launcher::RegistryKey key = 0;
    const long opened = p.OpenRegistryKey(launcher::RegistryRoot::LocalMachine,
                                          launcher::kPciEnumPath, launcher::kKeyRead, &key);
    if (opened != 0) {
        list.failure = DevicesFailure::NoNames;
        list.error = "cannot open the key (error " + std::to_string(opened) + ")";
        return list;
    }
    const KeyGuard guard(p, key);
    std::uint32_t count = 0;
    if (p.QuerySubkeyCount(key, &count) != 0) {
        list.failure = DevicesFailure::NoNames;
        list.error = "cannot count its subkeys";
        return list;
    }
    char name[kNameBufferSize];
    for (std::uint32_t i = 0; i < count; ++i) {
        const long read = p.EnumSubkey(key, i, name, sizeof name);
        if (read != 0) {
            list.failure = DevicesFailure::NoNames;
            list.error = "cannot read subkey " + std::to_string(i + 1) + " (error " +
                         std::to_string(read) + ")";
            return list;
        }
        list.names.Add(name);
    }
    return list;
}

launcher::CodePage DefaultCodePage(std::string* name, int* number) {
    *number = static_cast<int>(GetACP());
    *name = "the system's ANSI code page (" + std::to_string(*number) + ")";
    return launcher::CodePage::FromPlatform(launcher::SystemPlatform());
}

}  // namespace pkgcheck

#else

namespace pkgcheck {

DeviceList ReadThisMachine() { return ReadSysfsDevices("/sys/bus/pci/devices"); }

launcher::CodePage DefaultCodePage(std::string* name, int* number) {
    *number = 1252;
    *name = "single-byte (as 1252)";
    return launcher::CodePage::SingleByte();
}

}  // namespace pkgcheck

#endif
