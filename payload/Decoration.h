#pragma once
// Which models section of a [Manufacturer] line a system reads: the rule of
// both the installer tool and pkgcheck, so that the section pkgcheck checks
// is the one the tool checks and Windows installs from.

#include <cstdint>
#include <string_view>

namespace payload {

struct OsVersion {
    unsigned major;
    unsigned minor;
    unsigned productType;    // 1 workstation, 2 domain controller, 3 server
    unsigned suiteMask = 0;  // VER_SUITE_ flags
};

// The suites an XP on x86 may report: Terminal Services (always set), one
// interactive session, Home Edition, Embedded
// (learn.microsoft.com/windows/win32/api/winnt/ns-winnt-osversioninfoexa).
constexpr unsigned kXpSuites = 0x0010u | 0x0100u | 0x0200u | 0x0040u;

// How well a [Manufacturer] decoration (the part after a models section's
// name, e.g. "NTx86.5.1") serves this system: higher is better, -1 when it
// does not serve it. Windows 2000 reads no decorations, and 64-bit Windows
// only those that name its processor.
long DecorationRank(std::string_view decoration, std::string_view architecture,
                    const OsVersion& os);

}  // namespace payload
