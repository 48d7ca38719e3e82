#pragma once
// What Windows 2000 and XP provide of what programs import, from
// SystemExports.tsv and SystemDlls.tsv, where each row gives its source.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pkgcheck {

// The systems whose loaders the installer tool must pass, oldest first.
enum class WindowsSystem { W2000Sp4, XpRtm, XpSp1, XpSp2, XpSp3, Xp64 };
constexpr int kWindowsSystemCount = 6;
const char* WindowsSystemName(WindowsSystem system);

// A set of systems, one bit each.
using Systems = std::uint8_t;
constexpr Systems Bit(WindowsSystem system) {
    return static_cast<Systems>(1u << static_cast<unsigned>(system));
}
constexpr Systems kAllSystems = (1u << kWindowsSystemCount) - 1;

struct Availability {
    Systems missing = 0;  // none: listed as present everywhere, or not listed
    std::string source;   // empty when not listed
};

// `dll` as an import names it, letter case aside; a name without an
// extension is taken with ".dll", as the loader does.
Availability DllAvailability(std::string_view dll);
Availability FunctionAvailability(std::string_view dll, std::string_view function);

// Whether `dll` is on the list of the DLLs that 2000 SP4 and XP SP3 both have
// in the system directory, SystemDlls.tsv.
bool IsSystemDll(std::string_view dll);

// Rows of the tables that do not read as rows; empty when they are sound.
std::vector<std::string> SystemTableProblems();

// The name the loader looks for: lower case, ".dll" added when there is no
// extension.
std::string LoaderDllName(std::string_view dll);

}  // namespace pkgcheck
