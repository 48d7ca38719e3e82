#include "pkgcheck/pe/InstallerLoad.h"

#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "pkgcheck/pe/Pe.h"
#include "pkgcheck/pe/SystemExports.h"
#include "pkgcheck/read/FileFinder.h"
#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

constexpr Systems kXpX86 = Bit(WindowsSystem::XpRtm) | Bit(WindowsSystem::XpSp1) |
                           Bit(WindowsSystem::XpSp2) | Bit(WindowsSystem::XpSp3);
constexpr Systems kX86 = Bit(WindowsSystem::W2000Sp4) | kXpX86;

// The subsystem version each system reports as its own; its loader refuses
// a program that asks for more.
int OwnVersion(int system) {
    if (system == static_cast<int>(WindowsSystem::W2000Sp4)) return 500;
    return system == static_cast<int>(WindowsSystem::Xp64) ? 502 : 501;
}

// The DLLs that 2000 and XP always load from the system directory, whatever
// lies beside the program: the core of the KnownDLLs key
// (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs) on both,
// and ntdll.dll, which every process has mapped before it starts.
bool IsKnownDll(const std::string& name) {
    static const char* const kKnown[] = {
        "advapi32.dll", "comdlg32.dll", "gdi32.dll",   "kernel32.dll", "ntdll.dll",  "ole32.dll",
        "oleaut32.dll", "rpcrt4.dll",   "shell32.dll", "user32.dll",   "version.dll"};
    return std::find(std::begin(kKnown), std::end(kKnown), name) != std::end(kKnown);
}

// "Windows 2000 SP4, XP RTM to SP3 and XP x64 / Server 2003 x64".
std::string DescribeSystems(Systems systems) {
    std::vector<std::string> parts;
    for (int s = 0; s < kWindowsSystemCount; ++s) {
        if (!(systems & Bit(static_cast<WindowsSystem>(s)))) continue;
        const bool xp = (kXpX86 & Bit(static_cast<WindowsSystem>(s))) != 0;
        int last = s;
        while (xp && last + 1 < kWindowsSystemCount &&
               (systems & kXpX86 & Bit(static_cast<WindowsSystem>(last + 1))))
            ++last;
        std::string part = WindowsSystemName(static_cast<WindowsSystem>(s));
        if (last > s)
            part += std::string(" to ") + (WindowsSystemName(static_cast<WindowsSystem>(last)) + 3);
        parts.push_back(part);
        s = last;
    }
    return Enumerated(parts, "and");
}

// Names read from a file, as a reader can tell them apart; a long list
// names its first few.
constexpr std::size_t kNamesShown = 10;
std::string Names(const std::vector<std::string>& names) {
    std::vector<std::string> shown;
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i)
        shown.push_back(ShortVisible(names[i]));
    if (names.size() > kNamesShown)
        shown.push_back("and " + std::to_string(names.size() - kNamesShown) + " more");
    return Joined(shown, ", ");
}

std::string Version(int major, int minor) {
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string NotValid(const std::string& file) {
    return "\"" + file + " is not a valid Win32 application.\"";
}

// One file the loader maps: install.exe or a DLL beside it.
struct Image {
    std::string name;  // as spelled in the package
    bool program = false;
    PeFile pe;
    bool usable = false;  // its exports can be trusted
    std::unordered_set<std::string> exports;
    std::unordered_set<std::uint32_t> ordinals;
};

class LoadChecker {
public:
    // `toolDir`: the host path of the tool's folder, which names in the
    // package start with `shownDir` (empty, or "AMD64\" as spelled).
    LoadChecker(const std::string& toolDir, const std::string& shownDir, ToolKind kind,
                InstallerLoad& check)
        : packageDir_(toolDir),
          shownDir_(shownDir),
          systems_(kind == ToolKind::Amd64 ? Bit(WindowsSystem::Xp64) : kAllSystems),
          check_(check) {}

    void Run(const std::string& installer) {
        // Read everything the loader would map first, each file once, so that
        // a DLL's exports are known wherever it is imported from.
        Read(installer, true);
        for (std::size_t i = 0; i < images_.size(); ++i) {
            if (!images_[i]->usable) continue;
            for (const PeImport& import : images_[i]->pe.imports) {
                const std::string name = LoaderDllName(import.dll);
                if (IsKnownDll(name) || opened_.count(UpperAscii(name))) continue;
                const std::string found = Beside(name);
                if (!found.empty()) Read(found, false);
            }
        }
        for (const auto& image : images_)
            if (image->usable) CheckImports(*image);
    }

private:
    bool Amd64() const { return systems_ == Bit(WindowsSystem::Xp64); }

    // `refusing` counts only among the systems that start this tool; the
    // 64-bit tool has XP x64 alone.
    void Add(Systems refusing, const std::string& kind, const std::string& file,
             const std::string& message) {
        const Systems error = Amd64() ? Bit(WindowsSystem::Xp64) : Bit(WindowsSystem::XpSp3);
        check_.findings.push_back({kind, shownDir_ + file, 0, 0, message,
                                   (refusing & error) != 0 ? Severity::Error : Severity::Warning,
                                   ScopeOf(refusing)});
    }

    // On XP x64 the launcher's install.exe runs under WOW64 before it hands
    // over to amd64\install.exe: what XP x64 refuses of it stops the
    // installation there too.
    Scope ScopeOf(Systems refusing) const {
        if (Amd64()) return Scope::Amd64;
        const bool x64 = (refusing & Bit(WindowsSystem::Xp64)) != 0;
        if ((refusing & kX86) == 0) return x64 ? Scope::Amd64 : Scope::X86;
        return x64 ? Scope::Both : Scope::X86;
    }

    void Read(const std::string& name, bool program) {
        opened_.insert(UpperAscii(program ? name : LoaderDllName(name)));
        check_.filesRead.push_back(shownDir_ + name);
        auto image = std::make_unique<Image>();
        image->name = name;
        image->program = program;
        std::string bytes, error;
        if (!ReadFileBytes(JoinPath(packageDir_, name), &bytes, &error)) {
            Add(kAllSystems, "installer-unreadable", name, "cannot be read: " + error);
        } else {
            image->pe = ReadPe(bytes);
            image->usable = CheckHeaders(*image);
            for (const std::string& e : image->pe.exports) image->exports.insert(e);
            image->ordinals.insert(image->pe.exportOrdinals.begin(),
                                   image->pe.exportOrdinals.end());
        }
        if (!program) dlls_.emplace(name, image.get());
        images_.push_back(std::move(image));
    }

    // What the loader says when it refuses the file, on XP.
    std::string Refusal(const Image& image) const {
        return image.program ? NotValid(image.name)
                             : "\"The application failed to initialize properly (0xc000007b).\" "
                               "(STATUS_INVALID_IMAGE_FORMAT, for " +
                                   image.name + ")";
    }

    bool CheckHeaders(const Image& image) {
        const PeFile& pe = image.pe;
        if (pe.headersRead && !CheckMachine(image)) return false;
        if (!pe.valid || !(pe.characteristics & kFileExecutableImage)) {
            const std::string why =
                pe.valid ? "the file header does not mark it as an executable image" : pe.problem;
            Add(kAllSystems, "installer-not-pe", image.name,
                "is no Windows program the loader can map (" + why +
                    "); every system refuses the tool: " + Refusal(image));
            return false;
        }
        if (image.program && (pe.characteristics & kFileDll)) {
            Add(kAllSystems, "installer-is-dll", image.name,
                "is marked as a DLL, which no system starts as a program: " + Refusal(image));
            return false;
        }
        if (image.program) CheckSubsystem(image);
        CheckVersions(image);
        return true;
    }

    bool CheckMachine(const Image& image) {
        const PeFile& pe = image.pe;
        const std::string machine = "machine " + HexText(pe.machine);
        if (Amd64()) return CheckAmd64Machine(image, machine);
        if (pe.pe32plus) {
            const bool amd64 = pe.machine == kMachineAmd64 && image.program;
            Add(amd64 ? kX86 : kAllSystems, "installer-pe32plus", image.name,
                "is a 64-bit (PE32+) image for " + machine +
                    ", which 32-bit Windows refuses: " + Refusal(image) +
                    (amd64 ? " Only XP x64 / Server 2003 x64 would start it, as a 64-bit program."
                           : ""));
            return false;
        }
        if (pe.machine != kMachineI386) {
            Add(kAllSystems, "installer-machine", image.name,
                "is built for " + machine +
                    ", not the x86 (0x14C) that every one of these "
                    "systems runs 32-bit programs on: " +
                    Refusal(image));
            return false;
        }
        return true;
    }

    // XP x64 starts the 64-bit tool as a 64-bit program only when it is
    // one; a 32-bit file there runs under WOW64, where it cannot install.
    bool CheckAmd64Machine(const Image& image, const std::string& machine) {
        const PeFile& pe = image.pe;
        if (pe.pe32plus && pe.machine == kMachineAmd64) return true;
        Add(kAllSystems, "installer-machine", image.name,
            std::string("is ") +
                (pe.pe32plus ? "a 64-bit (PE32+) image" : "a 32-bit (PE32) image") + " for " +
                machine + ", not a 64-bit one for x64 (0x8664): " +
                (!image.program || pe.pe32plus || pe.machine != kMachineI386
                     ? "XP x64 does not start it: " + Refusal(image)
                     : std::string("XP x64 would run it under WOW64, where no 32-bit program can "
                                   "install drivers")));
        return false;
    }

    void CheckSubsystem(const Image& image) {
        const std::uint16_t subsystem = image.pe.subsystem;
        if (subsystem == kSubsystemWindowsGui || subsystem == kSubsystemWindowsConsole) return;
        const std::string seen =
            subsystem == kSubsystemNative
                ? "\"The " + image.name + " application cannot be run in Win32 mode.\""
                : NotValid(image.name);
        Add(kAllSystems, "installer-subsystem", image.name,
            "asks for subsystem " + std::to_string(subsystem) +
                ", not the Windows GUI (2) or console (3) subsystem; every system refuses "
                "to start it: " +
                seen);
    }

    void CheckVersions(const Image& image) {
        const PeFile& pe = image.pe;
        const int subsystem = pe.majorSubsystemVersion * 100 + pe.minorSubsystemVersion;
        const int os = pe.majorOsVersion * 100 + pe.minorOsVersion;
        const std::string asked = Version(pe.majorSubsystemVersion, pe.minorSubsystemVersion);
        Systems refusing = 0;
        for (int s = 0; s < kWindowsSystemCount; ++s)
            if (subsystem < 310 || subsystem > OwnVersion(s))
                refusing |= Bit(static_cast<WindowsSystem>(s));
        refusing &= systems_;
        if (refusing != 0)
            Add(refusing, "installer-subsystem-version", image.name,
                "asks for subsystem version " + asked +
                    (subsystem < 310
                         ? ", below the 3.10 that Windows NT loaders require"
                         : ", higher than the own version of " + DescribeSystems(refusing) +
                               " (2000: 5.0, XP: 5.1, XP x64: 5.2)") +
                    "; there the tool does not start: " + Refusal(image));
        if (os > subsystem)
            Add(0, "installer-os-version", image.name,
                "asks for OS version " + Version(pe.majorOsVersion, pe.minorOsVersion) +
                    ", above its subsystem version " + asked +
                    ": 2000 and XP read only the subsystem version, but the linker was told "
                    "of a newer Windows than the one the program is meant for");
    }

    // A file beside the tool as the package spells it, found letter case
    // aside; empty when there is none.
    std::string Beside(const std::string& name) {
        const Found found = finder_.Find(packageDir_, "", {name});
        return found.whyMissing.empty() ? found.shown : std::string();
    }

    void CheckImports(const Image& image) {
        for (const PeImport& import : image.pe.imports) {
            const std::string name = LoaderDllName(import.dll);
            const std::string shipped = IsKnownDll(name) ? std::string() : Beside(name);
            if (!shipped.empty())
                CheckShippedExports(image, import, Opened(shipped));
            else
                CheckSystemImports(image, import);
        }
    }

    const Image* Opened(const std::string& name) const {
        const auto found = dlls_.find(name);
        return found != dlls_.end() && found->second->usable ? found->second : nullptr;
    }

    void CheckShippedExports(const Image& image, const PeImport& import, const Image* dll) {
        if (dll == nullptr) return;  // its own finding says why it does not load
        std::vector<std::string> missing;
        std::unordered_set<std::string> listed;
        for (const std::string& f : import.functions) {
            const bool found =
                f[0] == '#'
                    ? dll->ordinals.count(static_cast<std::uint32_t>(std::stoul(f.substr(1)))) > 0
                    : dll->exports.count(f) > 0;
            if (!found && listed.insert(f).second) missing.push_back(f);
        }
        if (missing.empty()) return;
        Add(kAllSystems, "installer-dll-export-missing", image.name,
            "imports " + Names(missing) + " from " + dll->name + ", which does not export " +
                (missing.size() == 1 ? "it" : "them") +
                "; every system refuses the tool: " + EntryPointText(missing.front(), import.dll));
    }

    static std::string EntryPointText(const std::string& name, const std::string& from) {
        const std::string function = ShortVisible(name);
        const std::string dll = ShortVisible(from);
        if (function[0] == '#')
            return "\"The ordinal " + function.substr(1) +
                   " could not be located in the dynamic link library " + dll + ".\"";
        return "\"The procedure entry point " + function +
               " could not be located in the dynamic link library " + dll + ".\"";
    }

    void CheckSystemImports(const Image& image, const PeImport& import) {
        Availability dll = DllAvailability(import.dll);
        dll.missing &= systems_;
        if (dll.missing != 0) AddDllMissing(image, ShortVisible(import.dll), dll);
        // Neither table knows it, so nothing says these systems have it.
        if (dll.source.empty() && !IsSystemDll(import.dll))
            Add(0, "installer-dll-unknown", image.name,
                "imports " + ShortVisible(import.dll) + ", which is not beside " +
                    check_.filesRead.front() +
                    " and not on the list of DLLs that 2000 SP4 and XP SP3 have in their system "
                    "directory (pe/SystemDlls.tsv): where a system lacks it, the tool does not "
                    "start (\"This application has failed to start because " +
                    ShortVisible(import.dll) +
                    " was not found.\"); ship it beside the tool, or add it to the list with "
                    "its source");
        // The functions each set of systems lacks, in import order.
        std::map<Systems, std::vector<std::string>> lacking;
        std::map<Systems, std::string> sources;
        for (const std::string& f : import.functions) {
            const Availability a = FunctionAvailability(import.dll, f);
            const auto missing = static_cast<Systems>(a.missing & ~dll.missing & systems_);
            if (missing == 0) continue;
            auto& names = lacking[missing];
            if (std::find(names.begin(), names.end(), f) != names.end()) continue;
            names.push_back(f);
            sources.emplace(missing, a.source);
        }
        for (const auto& [systems, names] : lacking)
            Add(systems, "installer-function-missing", image.name,
                "imports " + Names(names) + " from " + ShortVisible(import.dll) + ", missing on " +
                    DescribeSystems(systems) + " (" + sources[systems] +
                    "); there the tool does not start: " +
                    EntryPointText(names.front(), import.dll));
    }

    void AddDllMissing(const Image& image, const std::string& dll, const Availability& a) {
        std::vector<std::string> seen;
        if (a.missing & ~Bit(WindowsSystem::W2000Sp4))
            seen.push_back("XP shows \"This application has failed to start because " + dll +
                           " was not found. Re-installing the application may fix this "
                           "problem.\"");
        if (a.missing & Bit(WindowsSystem::W2000Sp4))
            seen.push_back("2000 shows \"The dynamic link library " + dll +
                           " could not be found in the specified path ...\"");
        Add(a.missing, "installer-dll-missing", image.name,
            "imports " + dll + ", missing on " + DescribeSystems(a.missing) +
                " and not shipped beside " + check_.filesRead.front() + " (" + a.source +
                "); there the tool does not start: " + Joined(seen, "; "));
    }

    const std::string& packageDir_;
    const std::string shownDir_;
    const Systems systems_;  // those that start this tool
    InstallerLoad& check_;
    FileFinder finder_;
    std::unordered_set<std::string> opened_;  // upper case
    std::vector<std::unique_ptr<Image>> images_;
    std::unordered_map<std::string, const Image*> dlls_;  // by the name as spelled
};

}  // namespace

InstallerLoad CheckInstallerLoads(const std::string& packageDir, const std::string& installerFound,
                                  ToolKind kind) {
    InstallerLoad check;
    if (installerFound.empty()) return check;  // the layout check reports it missing
    const std::size_t cut = installerFound.rfind('\\');
    const std::string shownDir = cut == std::string::npos ? "" : installerFound.substr(0, cut + 1);
    std::string dir = packageDir;
    for (const std::string& part : PathParts(shownDir))
        if (!part.empty()) dir = JoinPath(dir, part);
    LoadChecker(dir, shownDir, kind, check).Run(installerFound.substr(shownDir.size()));
    return check;
}

}  // namespace pkgcheck
