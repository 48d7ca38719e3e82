#include "pkgcheck/package/Payload.h"

#include <set>
#include <unordered_map>
#include <unordered_set>

#include "payload/Payload.h"
#include "pkgcheck/inf/InfFields.h"
#include "pkgcheck/inf/InfServices.h"
#include "pkgcheck/inf/InfText.h"
#include "pkgcheck/pe/Pe.h"
#include "pkgcheck/read/Cabinet.h"
#include "pkgcheck/read/FileFinder.h"
#include "pkgcheck/read/Text.h"
#include "pkgcheck/read/Unpack.h"

namespace pkgcheck {
namespace {

constexpr std::uint32_t kNone = InfFile::kNone;

// The name a path ends in.
std::string_view BaseName(std::string_view path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

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

// The package below the INF's folder as Windows finds files there, letter
// case aside, for the look-ups of the payload rules. It keeps what the last
// one found, and what the cabinets it opened lacked, in words.
class PackageFinder final : public payload::PackageFiles {
public:
    PackageFinder(const std::string& infDir, const std::string& infDirShown,
                  std::vector<Finding>& warnings)
        : infDir_(infDir), infDirShown_(infDirShown), warnings_(warnings) {}

    bool IsFile(std::string_view path) override {
        found_ = Find(path);
        return found_.whyMissing.empty();
    }

    // A cabinet's file list tells what it holds.
    bool CabinetHolds(std::string_view path, std::string_view wanted) override {
        const Found cabinet = Find(path);
        if (!cabinet.whyMissing.empty()) {
            why_ += ", nor in the disk's cabinet " + std::string(BaseName(path)) + " (" +
                    cabinet.whyMissing + ")";
            return false;
        }
        std::string bytes;
        std::string error;
        std::vector<std::string> names;
        if (!ReadFileBytes(cabinet.path, &bytes, &error) ||
            !CabinetFileNames(bytes, &names, &error)) {
            why_ +=
                ", nor in the disk's cabinet " + cabinet.shown + ", which cannot be read: " + error;
            return false;
        }
        for (const std::string& name : names) {
            if (!EqualsIgnoringCase(BaseName(name), wanted)) continue;
            found_ = cabinet;
            member_ = name;
            return true;
        }
        why_ += ", nor in the disk's cabinet " + cabinet.shown + ", which lists " +
                std::to_string(names.size()) + (names.size() == 1 ? " file" : " files") +
                ", not this one";
        return false;
    }

    void Forget() {
        found_ = Found();
        member_.clear();
        why_.clear();
    }
    const Found& found() const { return found_; }
    const std::string& member() const { return member_; }
    const std::string& why() const { return why_; }

    // drv\x86\stor.sys, for `path` below the INF's folder.
    std::string Shown(std::string_view path) const {
        std::string shown = infDirShown_;
        for (const std::string& part : PathParts(std::string(path)))
            if (!part.empty() && part != ".") shown += "\\" + part;
        return shown;
    }

private:
    Found Find(std::string_view path) {
        Found found = finder_.Find(infDir_, infDirShown_, PathParts(std::string(path)));
        for (const std::vector<std::string>& matches : found.ambiguous) {
            std::string spelled;
            for (const std::string& m : matches) spelled += (spelled.empty() ? "" : ", ") + m;
            warnings_.push_back({"ambiguous-name", Shown(path), 0, 0,
                                 "several names differ only in letter case (" + spelled +
                                     "); Windows keeps only one of them"});
        }
        return found;
    }

    const std::string& infDir_;
    const std::string& infDirShown_;
    std::vector<Finding>& warnings_;
    FileFinder finder_;
    Found found_;
    std::string member_;
    std::string why_;
};

// 2000 and XP on x86 read the rules as XP does, but for a disk whose flags
// hold 0x10, which only XP knows; XP x64 and Server 2003 x64 are NT 5.2.
constexpr payload::OsVersion kXp = {5, 1, 1, payload::kXpSuites};
constexpr payload::OsVersion k2000 = {5, 0, 1, 0};
constexpr payload::OsVersion kXpX64 = {5, 2, 1, 0};

class PayloadReader final : private payload::CopyVisitor {
public:
    PayloadReader(const InfContents& inf, const std::string& infDir, const std::string& infDirShown,
                  const std::string& infFile, PayloadArch arch, Payload& out)
        : inf_(inf),
          file_(inf.document->File()),
          infDirShown_(infDirShown),
          infFile_(infFile),
          arch_(arch == PayloadArch::Amd64 ? kAmd64Names : kX86Names),
          amd64_(arch == PayloadArch::Amd64),
          target_{arch_.name, amd64_ ? kXpX64 : kXp},
          out_(out),
          fields_(file_),
          reading_(fields_, heap_),
          package_(infDir, infDirShown, out.warnings) {}

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

    void ReadInstall(const InfInstall& install) {
        PayloadInstall out;
        out.name = install.name;
        out.modelSection =
            amd64_ ? inf_.otherSections[install.section].name : inf_.sections[install.section];
        out.line = install.line;
        out.models = install.models;
        launcher::ByteString chosen(heap_);
        if (!payload::ChooseInstallSection(reading_, install.name, arch_.name, chosen)) {
            Warn("payload-section-missing", install.line,
                 "the models name install section [" + install.name + "] (first in [" +
                     out.modelSection + "]), but the INF has no [" + install.name + arch_.nt +
                     "], [" + install.name + ".NT] or [" + install.name + "]: " + arch_.systems +
                     " find nothing to install the device with");
            return out_.installs.push_back(std::move(out));
        }
        out.chosen = std::string(file_.NameOf(file_.Find(chosen.view())));
        install_ = &out;
        copied_.clear();
        payload::ForEachCopiedFile(reading_, chosen.view(), *this);
        ReadServices(out);
        out_.installs.push_back(std::move(out));
    }

    void Value(std::string_view, std::string_view value) override {
        install_->copyFiles.emplace_back(value);
    }

    void File(const payload::CopiedFile& copied) override {
        copied_.insert(UpperAscii(copied.destination));
        const auto index = static_cast<std::uint32_t>(out_.files.size());
        if (!fileIndex_.emplace(UpperAscii(copied.source), index).second) return;
        PayloadFile file;
        file.name = copied.source;
        file.section = std::string(file_.NameOf(file_.Find(copied.section)));
        file.line = fields_.LineNumber(*copied.line);
        out_.files.push_back(std::move(file));
    }

    void MissingList(std::string_view installSection, std::string_view list,
                     const payload::InfPlace& line) override {
        if (!missingLists_.insert(UpperAscii(list)).second) return;
        Warn("payload-section-missing", fields_.LineNumber(line),
             "CopyFiles of [" + std::string(installSection) + "] names [" + std::string(list) +
                 "], which the INF lacks: the files it was meant to list are not copied");
    }

    void ReadServices(PayloadInstall& install) {
        for (const ServiceBinary& binary : ServiceBinariesOf(file_, install.chosen)) {
            install.serviceBinaries.push_back(binary.path);
            CheckServiceBinary(install, binary.service, binary.path, binary.line);
        }
    }

    void CheckServiceBinary(const PayloadInstall& install, const std::string& service,
                            const std::string& path, int line) {
        if (copied_.count(UpperAscii(BaseName(path))) > 0) return;
        if (!toldBinaries_.insert(line).second) return;
        Warn("service-binary-not-copied", line,
             "ServiceBinary " + path + " of service " + service + " is no file that [" +
                 install.chosen +
                 "] copies (CopyFiles): the service starts a file that the "
                 "package does not install");
    }

    // Through [SourceDisksFiles] to a disk, through [SourceDisksNames] to a
    // path below the INF's directory, and there letter case aside, as the
    // payload rules say.
    void Locate(PayloadFile& file) {
        const std::string from = " (copied from [" + file.section + "])";
        payload::SourcePlace place(heap_);
        const payload::Listing listing = payload::FindSource(reading_, target_, file.name, place);
        if (listing == payload::Listing::NotListed)
            return Error("payload-not-listed", file.line,
                         file.name + from + " has no entry in [SourceDisksFiles." + arch_.name +
                             "] or [SourceDisksFiles]: Windows does not know where it lies in "
                             "the package, asks the user for it, and the installation fails");
        file.listedIn = std::string(place.fileSection.view());
        file.disk = std::string(place.disk.view());
        if (listing == payload::Listing::NoDisk)
            return Error("payload-no-disk", file.line,
                         file.name + from + " is on disk " + file.disk + " ([" + file.listedIn +
                             "] line " + std::to_string(fields_.LineNumber(place.fileLine)) +
                             "), which neither [SourceDisksNames." + arch_.name +
                             "] nor [SourceDisksNames] names: Windows does not know where that "
                             "disk lies, asks the user for it, and the installation fails");
        file.expected = package_.Shown(std::string(place.folder.view()) + file.name);
        const std::string disk =
            " (disk " + file.disk + " of [" + std::string(place.diskSection.view()) + "])";
        launcher::ByteString path(heap_);
        package_.Forget();
        const payload::SourceForm form =
            payload::LookUpSource(reading_, package_, place, file.name, path);
        if (form == payload::SourceForm::Missing) {
            const std::string where =
                place.cabinetOnly
                    ? " is not in the package: from the disk's cabinet " +
                          package_.Shown(std::string(place.diskFolder.view()) +
                                         std::string(place.cabinet.view())) +
                          disk + " alone, as its flag 0x10 tells XP, and there"
                    : " is not in the package: Windows looks for it as " + file.expected + disk +
                          " or in its compressed form, in any letter case";
            const std::string notThere = package_.found().whyMissing.empty()
                                             ? std::string()
                                             : " (" + package_.found().whyMissing + ")";
            return Error("payload-missing", file.line,
                         file.name + from + where + package_.why() +
                             ", and the installation fails without it" + notThere);
        }
        file.found = package_.found().shown;
        file.path = package_.found().path;
        file.compressed = form == payload::SourceForm::Compressed;
        if (form == payload::SourceForm::InCabinet) {
            file.cabinet = file.found;
            file.member = package_.member();
        }
        if (place.cabinetOnly && !amd64_) CheckOn2000(file, from);
        if (IsDriverFile(file.name)) CheckDriver(file);
    }

    // 2000 knows no flag 0x10: it looks for the file by name, and in the
    // cabinet only when its name ends in .cab.
    void CheckOn2000(const PayloadFile& file, const std::string& from) {
        const payload::Target target2000{arch_.name, k2000};
        payload::SourcePlace place(heap_);
        if (payload::FindSource(reading_, target2000, file.name, place) != payload::Listing::Listed)
            return;
        launcher::ByteString path(heap_);
        package_.Forget();
        if (payload::LookUpSource(reading_, package_, place, file.name, path) !=
            payload::SourceForm::Missing)
            return;
        Error("payload-missing", file.line,
              file.name + from + " lies in " + file.found +
                  ", the disk's cabinet by its flag 0x10, which only XP knows: 2000 looks for "
                  "it as " +
                  file.expected + ", in any letter case" + package_.why() +
                  ", and the installation fails there without it");
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
        switch (ReadAsCopied(file.path, file.member, file.compressed, &bytes, &error)) {
            case UnpackResult::Unpacked:
                break;
            case UnpackResult::Unreadable:
                return DriverError("unreadable", file, error);
            default:
                return out_.warnings.push_back(
                    {"payload-not-unpacked", file.found, 0, 0,
                     (file.member.empty() ? "holds " + file.name + " compressed"
                                          : "holds " + file.member) +
                         ", which cannot be unpacked here (" + error +
                         "): whether 2000 and XP load it as a driver is not checked"});
        }
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

    // The catalog that [Version] names, beside the INF.
    void CheckCatalog() {
        launcher::ByteString key(heap_);
        launcher::ByteString name(heap_);
        payload::InfPlace line;
        const std::string keys = std::string("CatalogFile") + arch_.nt;
        if (!payload::FindCatalog(reading_, arch_.name, key, name, &line))
            return Warn("unsigned", 0,
                        "[Version] names no catalog (" + keys +
                            ", CatalogFile.NT or CatalogFile): the driver is unsigned on " +
                            arch_.systems +
                            ", and under their default driver-signing policy the user is asked "
                            "whether to install it");
        PayloadCatalog catalog{std::string(key.view()), std::string(name.view()),
                               fields_.LineNumber(line), "", ""};
        package_.Forget();
        if (package_.IsFile(name.view())) {
            catalog.found = package_.found().shown;
            catalog.path = package_.found().path;
        } else {
            Error("catalog-missing", catalog.line,
                  "[Version] names the catalog " + catalog.name + " (" + catalog.key +
                      "), but it does not lie beside the INF in " + infDirShown_ +
                      ", in any letter case: the package is incomplete, and Windows cannot "
                      "verify the driver's signature");
        }
        out_.catalog = std::move(catalog);
    }

    const InfContents& inf_;
    const InfFile& file_;
    const std::string& infDirShown_;
    const std::string& infFile_;
    const ArchNames& arch_;
    const bool amd64_;
    const payload::Target target_;
    Payload& out_;
    NewHeap heap_;
    InfFields fields_;
    payload::InfReading reading_;
    PackageFinder package_;
    PayloadInstall* install_ = nullptr;  // the one being read
    Destinations copied_;                // what it copies, by destination name
    std::unordered_map<std::string, std::uint32_t> fileIndex_;  // by upper-case source name
    std::set<std::string> missingLists_;
    std::set<int> toldBinaries_;
};

}  // namespace

Payload CheckPayload(const InfContents& inf, const std::string& infDir,
                     const std::string& infDirShown, const std::string& infFile, PayloadArch arch) {
    Payload payload;
    payload.architecture = arch == PayloadArch::Amd64 ? "amd64" : "x86";
    payload.scope = arch == PayloadArch::Amd64 ? Scope::Amd64 : Scope::X86;
    if (inf.document) PayloadReader(inf, infDir, infDirShown, infFile, arch, payload).Run();
    for (auto* findings : {&payload.errors, &payload.warnings})
        for (Finding& finding : *findings) finding.scope = payload.scope;
    return payload;
}

bool IsDriverFile(const std::string& name) {
    return name.size() >= 4 &&
           EqualsIgnoringCase(std::string_view(name).substr(name.size() - 4), ".sys");
}

}  // namespace pkgcheck
