#include "pkgcheck/package/Payload.h"

#include <cstdlib>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "pkgcheck/inf/InfServices.h"
#include "pkgcheck/inf/InfText.h"
#include "pkgcheck/pe/Pe.h"
#include "pkgcheck/read/Cabinet.h"
#include "pkgcheck/read/FileFinder.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

constexpr std::uint32_t kNone = InfFile::kNone;

// "key = value"; a line without '=' has an empty key.
struct KeyValue {
    std::string_view key;
    std::string_view value;
};

KeyValue SplitLine(std::string_view text) {
    const std::size_t eq = FindUnquoted(text, '=');
    if (eq == std::string_view::npos) return {{}, text};
    return {TrimBlanks(text.substr(0, eq)), text.substr(eq + 1)};
}

// The name a path ends in.
std::string_view BaseName(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// A disk ID as a key: 1, 01 and 001 are one disk.
std::string DiskKey(std::string_view id) {
    id = TrimBlanks(id);
    const bool digits = !id.empty() && id.find_first_not_of("0123456789") == std::string_view::npos;
    while (digits && id.size() > 1 && id.front() == '0') id.remove_prefix(1);
    return UpperAscii(id);
}

// An entry of [SourceDisksFiles] or [SourceDisksNames]: its fields after
// the '=', tokens replaced.
struct SourceEntry {
    const char* section;
    std::vector<std::string> fields;
    int line;

    std::string Field(std::size_t i) const { return i < fields.size() ? fields[i] : ""; }
};

// [Name.x86] (or [Name.amd64]) over [Name], entry by entry, as Windows
// looks up a file or a disk on that processor.
class SourceTable {
public:
    SourceTable(const InfFile& inf, const char* plain, const std::string& decorated, bool disks)
        : disks_(disks), decorated_(decorated) {
        Read(inf, plain);
        Read(inf, decorated_.c_str());
    }

    const SourceEntry* Find(std::string_view key) const {
        const auto found = entries_.find(disks_ ? DiskKey(key) : UpperAscii(TrimBlanks(key)));
        return found == entries_.end() ? nullptr : &found->second;
    }

private:
    void Read(const InfFile& inf, const char* name) {
        const std::uint32_t section = inf.Find(name);
        if (section == kNone) return;
        std::string scratch;
        std::string expanded;
        inf.ForEachLine(section, [&](const LogicalLine& l) {
            const KeyValue kv = SplitLine(l.text);
            if (kv.key.empty()) return;
            SourceEntry entry{name, {}, l.line};
            ForEachField(kv.value, ',', [&](std::size_t, std::string_view field) {
                entry.fields.emplace_back(inf.Substitute(Unquoted(field, &scratch), &expanded));
            });
            const std::string_view key = Unquoted(kv.key, &scratch);
            entries_[disks_ ? DiskKey(key) : UpperAscii(key)] = std::move(entry);
        });
    }

    bool disks_;
    const std::string decorated_;  // entries keep a pointer to their section's name
    std::unordered_map<std::string, SourceEntry> entries_;
};

// The destination names a file-list section copies to, upper case, for the
// service binaries.
using Destinations = std::unordered_set<std::string>;

// The names one architecture gives its sections, and the systems it serves.
struct ArchNames {
    const char* name;     // "x86": the decoration of its sections
    const char* nt;       // ".NTx86": of its install sections and catalog key
    const char* systems;  // in messages
    std::uint16_t machine;
    bool pe32plus;
};
constexpr ArchNames kX86Names = {"x86", ".NTx86", "2000 and XP", kMachineI386, false};
constexpr ArchNames kAmd64Names = {"amd64", ".NTamd64", "XP x64 and Server 2003 x64", kMachineAmd64,
                                   true};

class PayloadReader {
public:
    PayloadReader(const InfContents& inf, const std::string& infDir, const std::string& infDirShown,
                  const std::string& infFile, PayloadArch arch, Payload& out)
        : inf_(inf),
          file_(inf.document->File()),
          infDir_(infDir),
          infDirShown_(infDirShown),
          infFile_(infFile),
          arch_(arch == PayloadArch::Amd64 ? kAmd64Names : kX86Names),
          amd64_(arch == PayloadArch::Amd64),
          out_(out),
          sourceFiles_(file_, "SourceDisksFiles", std::string("SourceDisksFiles.") + arch_.name,
                       false),
          sourceDisks_(file_, "SourceDisksNames", std::string("SourceDisksNames.") + arch_.name,
                       true) {}

    void Run() {
        for (const InfInstall& install : amd64_ ? inf_.installsX64 : inf_.installs)
            ReadInstall(install);
        for (PayloadFile& file : out_.files) Locate(file);
        CheckCatalog();
    }

private:
    void Error(const char* kind, int line, std::string message) {
        out_.errors.push_back({kind, infFile_, line, 0, std::move(message), Severity::Error});
    }
    void Warn(const char* kind, int line, std::string message) {
        out_.warnings.push_back({kind, infFile_, line, 0, std::move(message)});
    }

    std::string Value(std::string_view field) {
        return std::string(file_.Substitute(Unquoted(field, &scratch_), &expanded_));
    }

    // DDInstall.NTx86 (.NTamd64), else DDInstall.NT, else the name itself,
    // as Windows chooses on the processor.
    std::uint32_t Choose(const std::string& name, std::string* chosen) const {
        for (const char* suffix : {arch_.nt, ".NT", ""}) {
            const std::uint32_t section = file_.Find(name + suffix);
            if (section == kNone) continue;
            *chosen = std::string(file_.NameOf(section));
            return section;
        }
        return kNone;
    }

    void ReadInstall(const InfInstall& install) {
        PayloadInstall out;
        out.name = install.name;
        out.modelSection =
            amd64_ ? inf_.otherSections[install.section].name : inf_.sections[install.section];
        out.line = install.line;
        out.models = install.models;
        const std::uint32_t section = Choose(install.name, &out.chosen);
        if (section == kNone) {
            Warn("payload-section-missing", install.line,
                 "the models name install section [" + install.name + "] (first in [" +
                     out.modelSection + "]), but the INF has no [" + install.name + arch_.nt +
                     "], [" + install.name + ".NT] or [" + install.name + "]: " + arch_.systems +
                     " find nothing to install the device with");
            return out_.installs.push_back(std::move(out));
        }
        std::vector<const Destinations*> copied;
        Destinations direct;
        file_.ForEachLine(section, [&](const LogicalLine& l) {
            const KeyValue kv = SplitLine(l.text);
            if (!EqualsIgnoringCase(kv.key, "CopyFiles")) return;
            ForEachField(kv.value, ',', [&](std::size_t, std::string_view field) {
                const std::string item = Value(field);
                if (item.empty()) return;
                out.copyFiles.push_back(item);
                if (item[0] != '@') return copied.push_back(CopyList(item, out.chosen, l.line));
                AddFile(item.substr(1), out.chosen, l.line);
                direct.insert(UpperAscii(item.substr(1)));
            });
        });
        copied.push_back(&direct);
        ReadServices(out, copied);
        out_.installs.push_back(std::move(out));
    }

    // The files of a file-list section, read once however many install
    // sections copy it: destination[, source[, temporary[, flags]]].
    const Destinations* CopyList(const std::string& name, const std::string& installSection,
                                 int line) {
        const std::uint32_t section = file_.Find(name);
        if (section == kNone) {
            if (missingLists_.insert(UpperAscii(name)).second)
                Warn("payload-section-missing", line,
                     "CopyFiles of [" + installSection + "] names [" + name +
                         "], which the INF lacks: the files it was meant to list are not copied");
            return &empty_;
        }
        const auto known = lists_.find(section);
        if (known != lists_.end()) return &known->second;
        Destinations& destinations = lists_[section];
        const std::string listName(file_.NameOf(section));
        file_.ForEachLine(section, [&](const LogicalLine& l) {
            std::string destination;
            std::string source;
            ForEachField(l.text, ',', [&](std::size_t i, std::string_view field) {
                if (i == 0) destination = Value(field);
                if (i == 1) source = Value(field);
            });
            if (source.empty()) source = destination;
            if (source.empty()) return;
            AddFile(source, listName, l.line);
            destinations.insert(UpperAscii(destination.empty() ? source : destination));
        });
        return &destinations;
    }

    void AddFile(const std::string& name, const std::string& section, int line) {
        const auto index = static_cast<std::uint32_t>(out_.files.size());
        if (!fileIndex_.emplace(UpperAscii(name), index).second) return;
        PayloadFile file;
        file.name = name;
        file.section = section;
        file.line = line;
        out_.files.push_back(std::move(file));
    }

    void ReadServices(PayloadInstall& install, const std::vector<const Destinations*>& copied) {
        for (const ServiceBinary& binary : ServiceBinariesOf(file_, install.chosen)) {
            install.serviceBinaries.push_back(binary.path);
            CheckServiceBinary(install, copied, binary.service, binary.path, binary.line);
        }
    }

    void CheckServiceBinary(const PayloadInstall& install,
                            const std::vector<const Destinations*>& copied,
                            const std::string& service, const std::string& path, int line) {
        const std::string name = UpperAscii(BaseName(path));
        for (const Destinations* destinations : copied)
            if (destinations->count(name) > 0) return;
        if (!toldBinaries_.insert(line).second) return;
        Warn("service-binary-not-copied", line,
             "ServiceBinary " + path + " of service " + service + " is no file that [" +
                 install.chosen +
                 "] copies (CopyFiles): the service starts a file that the "
                 "package does not install");
    }

    // Through [SourceDisksFiles] to a disk, through [SourceDisksNames] to a
    // path below the INF's directory, and there letter case aside.
    void Locate(PayloadFile& file) {
        const SourceEntry* listed = sourceFiles_.Find(file.name);
        const std::string from = " (copied from [" + file.section + "])";
        if (listed == nullptr)
            return Error("payload-not-listed", file.line,
                         file.name + from + " has no entry in [SourceDisksFiles." + arch_.name +
                             "] or [SourceDisksFiles]: Windows does not know where it lies in "
                             "the package, asks the user for it, and the installation fails");
        file.listedIn = listed->section;
        file.disk = listed->Field(0);
        const SourceEntry* disk = sourceDisks_.Find(file.disk);
        if (disk == nullptr)
            return Error("payload-no-disk", file.line,
                         file.name + from + " is on disk " + file.disk + " ([" + listed->section +
                             "] line " + std::to_string(listed->line) +
                             "), which neither [SourceDisksNames." + arch_.name +
                             "] nor [SourceDisksNames] names: Windows does not know where that "
                             "disk lies, asks the user for it, and the installation fails");
        std::vector<std::string> parts = PathParts(disk->Field(3));
        for (std::string& part : PathParts(listed->Field(1))) parts.push_back(std::move(part));
        parts.push_back(file.name);
        file.expected = infDirShown_;
        for (const std::string& part : parts)
            if (!part.empty() && part != ".") file.expected += "\\" + part;
        const Found found = finder_.Find(infDir_, infDirShown_, parts);
        WarnAmbiguous(file.expected, found);
        std::string inCabinet;
        if (!found.problem.empty() && InCabinet(file, *disk, &inCabinet)) return;
        if (!found.problem.empty())
            return Error("payload-missing", file.line,
                         file.name + from + " is not in the package: Windows looks for it as " +
                             file.expected + " (disk " + file.disk + " of [" + disk->section +
                             "]), in any letter case" + inCabinet +
                             ", and the installation fails without it (" + found.problem + ")");
        file.found = found.shown;
        file.path = found.path;
        if (IsDriverFile(file.name)) CheckDriver(file);
    }

    // A file not found by name comes from the disk's cabinet, in the disk's
    // path: its tag-or-cab-file when that ends in .cab or flags hold 0x10
    // (the tag is then tag-file), or a tag-file ending in .cab. True when
    // the cabinet lists the file; otherwise `why` tells what was read.
    bool InCabinet(PayloadFile& file, const SourceEntry& disk, std::string* why) {
        char* end = nullptr;
        const std::string flags = disk.Field(4);
        const bool cabinetFlag = (std::strtoul(flags.c_str(), &end, 0) & 0x10) != 0;
        for (const std::size_t field : {std::size_t{1}, std::size_t{5}}) {
            const std::string cabinet = disk.Field(field);
            const bool named = cabinet.size() > 4 &&
                               EqualsIgnoringCase(cabinet.substr(cabinet.size() - 4), ".cab");
            if (cabinet.empty() || !(named || (field == 1 && cabinetFlag))) continue;
            std::vector<std::string> parts = PathParts(disk.Field(3));
            parts.push_back(cabinet);
            const Found found = finder_.Find(infDir_, infDirShown_, parts);
            if (!found.problem.empty()) {
                *why += ", nor in the disk's cabinet " + cabinet + " (" + found.problem + ")";
                continue;
            }
            std::string bytes;
            std::string error;
            std::vector<std::string> names;
            if (!ReadFileBytes(found.path, &bytes, &error) ||
                !CabinetFileNames(bytes, &names, &error)) {
                *why += ", nor in the disk's cabinet " + found.shown +
                        ", which cannot be read: " + error;
                continue;
            }
            for (const std::string& name : names) {
                if (!EqualsIgnoringCase(BaseName(name), file.name)) continue;
                file.found = found.shown;
                file.cabinet = found.shown;
                return true;
            }
            *why += ", nor in the disk's cabinet " + found.shown + ", which lists " +
                    std::to_string(names.size()) + (names.size() == 1 ? " file" : " files") +
                    ", not this one";
        }
        return false;
    }

    void DriverError(const char* kind, const PayloadFile& file, const std::string& message) {
        out_.errors.push_back({kind, file.found, 0, 0, message, Severity::Error});
    }

    // 2000 and XP on x86 load a 32-bit kernel-mode image, XP x64 and Server
    // 2003 x64 a 64-bit one for x64; each refuses one whose checksum is set
    // but wrong.
    void CheckDriver(PayloadFile& file) {
        std::string bytes;
        std::string error;
        if (!ReadFileBytes(file.path, &bytes, &error))
            return DriverError("unreadable", file, "cannot read " + file.path + ": " + error);
        const PeFile pe = ReadPe(bytes);
        PayloadDriver& driver = file.driver.emplace();
        driver = {pe.headersRead, pe.problem,  pe.machine,         pe.pe32plus,
                  pe.subsystem,   pe.checksum, pe.computedChecksum};
        const std::string stops =
            ": the device's driver does not load, and the device does not "
            "start";
        if (!pe.headersRead)
            return DriverError("driver-not-pe", file,
                               "is no driver image (" + pe.problem + ")" + stops);
        if (pe.pe32plus != arch_.pe32plus || pe.machine != arch_.machine)
            return DriverError(amd64_ ? "driver-not-amd64" : "driver-not-x86", file,
                               std::string("is ") +
                                   (pe.pe32plus ? "a 64-bit (PE32+) image" : "a 32-bit image") +
                                   " for machine " + HexText(pe.machine) +
                                   (amd64_ ? ", not a 64-bit driver for x64 (0x8664), which XP "
                                             "x64 and Server 2003 x64 load"
                                           : ", not a 32-bit driver for x86 (0x14C), which 2000 "
                                             "and XP on x86 load") +
                                   stops);
        if (!pe.valid)
            return DriverError("driver-not-pe", file,
                               "is no image the kernel can map (" + pe.problem + ")" + stops);
        if (pe.subsystem != kSubsystemNative)
            DriverError("driver-not-native", file,
                        "asks for subsystem " + std::to_string(pe.subsystem) +
                            ", not the native subsystem (1) of kernel-mode drivers: it is a "
                            "program or a DLL, not a driver" +
                            stops);
        if (pe.checksum != 0 && pe.checksum != pe.computedChecksum)
            DriverError("driver-checksum", file,
                        "stores the checksum " + HexText(pe.checksum) + ", but its bytes sum to " +
                            HexText(pe.computedChecksum) +
                            ": the kernel refuses a driver whose checksum is set and wrong" +
                            stops);
    }

    void WarnAmbiguous(const std::string& name, const Found& found) {
        for (const std::vector<std::string>& matches : found.ambiguous) {
            std::string spelled;
            for (const std::string& m : matches) spelled += (spelled.empty() ? "" : ", ") + m;
            out_.warnings.push_back({"ambiguous-name", name, 0, 0,
                                     "several names differ only in letter case (" + spelled +
                                         "); Windows keeps only one of them"});
        }
    }

    // CatalogFile.NTx86 (.NTamd64), else CatalogFile.NT, else CatalogFile,
    // in [Version].
    void CheckCatalog() {
        const std::uint32_t version = file_.Find("Version");
        PayloadCatalog catalog;
        int rank = 3;
        const std::string keys[] = {std::string("CatalogFile") + arch_.nt, "CatalogFile.NT",
                                    "CatalogFile"};
        if (version != kNone)
            file_.ForEachLine(version, [&](const LogicalLine& l) {
                const KeyValue kv = SplitLine(l.text);
                for (int k = 0; k < rank; ++k) {
                    if (!EqualsIgnoringCase(kv.key, keys[k])) continue;
                    rank = k;
                    catalog = {keys[k], Value(kv.value), l.line, "", ""};
                }
            });
        if (catalog.name.empty())
            return Warn("unsigned", 0,
                        "[Version] names no catalog (" + keys[0] +
                            ", CatalogFile.NT or CatalogFile): the driver is unsigned on " +
                            arch_.systems +
                            ", and under their default driver-signing policy the user is asked "
                            "whether to install it");
        const Found found = finder_.Find(infDir_, infDirShown_, {catalog.name});
        WarnAmbiguous(infDirShown_ + "\\" + catalog.name, found);
        catalog.found = found.problem.empty() ? found.shown : "";
        catalog.path = found.problem.empty() ? found.path : "";
        if (catalog.found.empty())
            Error("catalog-missing", catalog.line,
                  "[Version] names the catalog " + catalog.name + " (" + catalog.key +
                      "), but it does not lie beside the INF in " + infDirShown_ +
                      ", in any letter case: the package is incomplete, and Windows cannot "
                      "verify the driver's signature");
        out_.catalog = std::move(catalog);
    }

    const InfContents& inf_;
    const InfFile& file_;
    const std::string& infDir_;
    const std::string& infDirShown_;
    const std::string& infFile_;
    const ArchNames& arch_;
    const bool amd64_;
    Payload& out_;
    SourceTable sourceFiles_;
    SourceTable sourceDisks_;
    FileFinder finder_;
    std::unordered_map<std::string, std::uint32_t> fileIndex_;  // by upper-case source name
    std::unordered_map<std::uint32_t, Destinations> lists_;     // file-list sections read
    std::set<std::string> missingLists_;
    std::set<int> toldBinaries_;
    const Destinations empty_;
    std::string scratch_;
    std::string expanded_;
};

}  // namespace

Payload CheckPayload(const InfContents& inf, const std::string& infDir,
                     const std::string& infDirShown, const std::string& infFile, PayloadArch arch) {
    Payload payload;
    payload.architecture = arch == PayloadArch::Amd64 ? "amd64" : "x86";
    payload.scope = arch == PayloadArch::Amd64 ? Scope::Amd64 : Scope::X86;
    const auto& installs = arch == PayloadArch::Amd64 ? inf.installsX64 : inf.installs;
    if (inf.document && !installs.empty())
        PayloadReader(inf, infDir, infDirShown, infFile, arch, payload).Run();
    for (auto* findings : {&payload.errors, &payload.warnings})
        for (Finding& finding : *findings) finding.scope = payload.scope;
    return payload;
}

bool IsDriverFile(const std::string& name) {
    return name.size() >= 4 &&
           EqualsIgnoringCase(std::string_view(name).substr(name.size() - 4), ".sys");
}

}  // namespace pkgcheck
