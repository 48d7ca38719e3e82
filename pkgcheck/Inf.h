#pragma once
// The PCI hardware IDs a setup-information file offers to Windows 2000 and
// XP on x86, and how they line up with the list entries.

#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/Finding.h"
#include "pkgcheck/ListCheck.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

struct InfHardwareId {
    std::string id;  // as written, e.g. PCI\VEN_8086&DEV_2922
    std::string section;
    int line;
};

struct InfCheck {
    std::string encoding;
    std::string error;                  // non-empty: the file could not be read as text
    std::vector<std::string> sections;  // model sections read, in order
    std::vector<InfHardwareId> ids;     // PCI IDs, first occurrence of each
    std::vector<Finding> warnings;
};

// Whether a [Manufacturer] target decoration (NTx86.5.1, NT, NTamd64.6.0...)
// applies to NT 5.x on x86.
bool DecorationAppliesToX86Nt5(std::string_view decoration);

InfCheck ReadInf(std::string_view bytes, const std::string& file);

// What Windows calls the device for an INF ID: upper case, without "PCI\".
std::string DeviceNameOf(const InfHardwareId& id);

// Per list entry: the INF IDs it covers (occurs in) or is compatible with
// (holds an INF ID), and per INF ID the first entry covering it, or -1.
struct CrossCheck {
    std::vector<bool> entryMatchesInf;
    std::vector<int> coveringEntry;
    std::vector<Finding> warnings;
};
CrossCheck CrossCheckInf(const std::vector<ListEntry>& entries, const InfCheck& inf,
                         const launcher::CodePage& cp, const std::string& listFile,
                         const std::string& infFile);

}  // namespace pkgcheck
