#include "pkgcheck/check/Check.h"

#include <algorithm>
#include <set>
#include <unordered_map>

#include "install/Installer.h"
#include "pkgcheck/read/FileFinder.h"
#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {

namespace {

const char* const kListName = "key.ini";
const char* const kInfName = "drv\\stordrv.inf";
const char* const kInstaller64Name = "amd64\\install.exe";
// Device files are read in this code page when none is given.
constexpr int kDefaultCodePage = 1252;

// "reg export, reg query, lspci or subkey names (see pkgcheck --help)".
std::string FormatNames() {
    std::vector<std::string> names;
    for (const DeviceFormatInfo& format : DeviceFormats()) names.push_back(format.name);
    return Enumerated(names, "or") + " (see pkgcheck --help)";
}

// The INF's IDs by their upper-case form, each to its first place, so that
// every machine of a fleet is judged without a pass over all of them.
class InfIdIndex {
public:
    explicit InfIdIndex(const InfCheck& inf) {
        for (std::size_t j = 0; j < inf.ids.size(); ++j)
            first_.emplace(UpperAscii(TrimBlanks(inf.Id(j))), static_cast<int>(j));
    }

    // The first INF ID that names one of the device's hardware IDs, letter
    // case aside, as Windows matches them; the most specific one first.
    ChosenInInf Judge(std::string_view name) const {
        ChosenInInf judged;
        judged.hardwareIds = HardwareIdsOf(name);
        for (const std::string& id : judged.hardwareIds) {
            const auto found = first_.find(UpperAscii(id));
            if (found == first_.end()) continue;
            judged.infId = found->second;
            break;
        }
        return judged;
    }

private:
    std::unordered_map<std::string, int> first_;
};

class Checker {
public:
    Checker(const Options& options, const launcher::CodePage& cp, Report& report)
        : options_(options), cp_(cp), report_(report) {}

    void Run(const MachineReader& thisMachine) {
        report_.layout = CheckLayout(options_.packageDir);
        if (options_.writeList) return WriteList();
        Add(report_.layout.errors, &report_.errors);
        Add(report_.layout.warnings, &report_.warnings);
        CheckListFile();
        CheckInfFile();
        CheckInstaller();
        CheckInstaller64();
        CheckPayloadFiles();
        if (options_.thisMachine) return Single("this machine", thisMachine());
        const std::vector<std::string> files = DeviceFiles();
        if (files.size() == 1 && !fleet_) return Single(Shown(files[0]), ReadDeviceFile(files[0]));
        if (!fleet_) return;
        report_.fleet.emplace();
        for (const std::string& file : files) report_.fleet->push_back(RunMachine(file));
    }

private:
    static void Add(const std::vector<Finding>& from, std::vector<Finding>* to) {
        to->insert(to->end(), from.begin(), from.end());
    }

    void Error(const std::string& kind, const std::string& file, const std::string& message) {
        report_.errors.push_back({kind, file, 0, 0, message});
    }

    void Warn(const char* kind, const std::string& file, std::string message) {
        report_.warnings.push_back({kind, file, 0, 0, std::move(message)});
    }

    bool ReadItem(std::size_t item, std::string* bytes) {
        const LayoutItem& found = report_.layout.items[item];
        if (found.found.empty()) return false;
        std::string error;
        if (ReadFileBytes(found.path, bytes, &error)) return true;
        Error("unreadable", found.name, "cannot read " + found.path + ": " + error);
        return false;
    }

    void CheckListFile() {
        std::string bytes;
        if (!ReadItem(kListItem, &bytes)) return;
        report_.list = CheckList(std::move(bytes), cp_, kListName);
        Add(report_.list->warnings, &report_.warnings);
    }

    void CheckInfFile() {
        std::string bytes;
        if (!ReadItem(kInfItem, &bytes)) return;
        report_.inf = ReadInf(std::move(bytes), kInfName);
        if (!report_.inf->error.empty())
            return Error("unreadable", kInfName, "cannot read as text: " + report_.inf->error);
        Add(report_.inf->errors, &report_.errors);
        Add(report_.inf->warnings, &report_.warnings);
        if (!report_.list) return;
        report_.cross = CrossCheckInf(*report_.list, *report_.inf, cp_, kListName, kInfName);
        Add(report_.cross->errors, &report_.errors);
        Add(report_.cross->warnings, &report_.warnings);
    }

    // What the INF's install sections copy, and the catalog, beside it.
    void CheckPayloadFiles() {
        if (!InfRead()) return;
        const LayoutItem& item = report_.layout.items[kInfItem];
        const std::string dirShown = item.found.substr(0, item.found.rfind('\\'));
        report_.payload = CheckPayload(*report_.inf, item.dir, dirShown, kInfName);
        Add(report_.payload->errors, &report_.errors);
        Add(report_.payload->warnings, &report_.warnings);
        CheckCatalog(CatalogRequestFor(*report_.payload, {item.found, item.path}, "x86",
                                       {"2:5.0", "2:5.1", "2:5.2"}, "2000, XP and Server 2003"),
                     false);
        if (!ServesX64()) return;
        report_.payloadAmd64 =
            CheckPayload(*report_.inf, item.dir, dirShown, kInfName, PayloadArch::Amd64);
        AddX64(report_.payloadAmd64->errors);
        Add(report_.payloadAmd64->warnings, &report_.warnings);
        CheckCatalog(CatalogRequestFor(*report_.payloadAmd64, {item.found, item.path}, "amd64",
                                       {"2:5.2"}, "XP x64 and Server 2003 x64"),
                     true);
    }

    // Whether the catalog holds every file that the INF installs; for the
    // amd64 payload its errors are XP x64's alone.
    void CheckCatalog(const std::optional<CatalogRequest>& request, bool x64) {
        if (!request) return;
        report_.catalogs.push_back(CheckCatalogMembers(*request));
        if (x64)
            AddX64(report_.catalogs.back().errors);
        else
            Add(report_.catalogs.back().errors, &report_.errors);
        Add(report_.catalogs.back().warnings, &report_.warnings);
    }

    // Models that XP x64 and Server 2003 x64 read: there the launcher's
    // install.exe runs under WOW64 and hands the work to amd64\install.exe.
    bool ServesX64() const {
        if (!InfRead()) return false;
        for (const InfOtherSection& section : report_.inf->otherSections)
            if (section.x64Nt52) return true;
        return false;
    }

    // The 64-bit tool as XP x64's loader reads it; it is looked for only
    // when the INF serves x64, and then it must be there.
    void CheckInstaller64() {
        if (!ServesX64()) return;
        FileFinder finder;
        const Found found = finder.Find(options_.packageDir, "", {"amd64", "install.exe"});
        LayoutItem item{kInstaller64Name, found.shown, found.path, found.whyMissing, ""};
        if (!found.whyMissing.empty()) {
            item.found.clear();
            x64Errors_.insert(report_.errors.size());
            Error("missing", kInstaller64Name,
                  found.whyMissing +
                      "; the INF has models for XP x64 and Server 2003 x64, where install.exe "
                      "runs under WOW64 and hands the installation to this 64-bit tool: without "
                      "it every such machine gets the box \"This is 64-bit Windows, and the "
                      "package's 64-bit installer tool amd64\\install.exe is missing. Nothing "
                      "was installed.\"");
        }
        report_.layout.items.push_back(item);
        if (item.found.empty()) return;
        report_.installer64 = CheckInstallerLoads(options_.packageDir, item.found, ToolKind::Amd64);
        for (const LoadFinding& f : report_.installer64->findings) {
            if (f.error) x64Errors_.insert(report_.errors.size());
            (f.error ? report_.errors : report_.warnings)
                .push_back({f.kind, f.file, 0, 0, f.message});
        }
    }

    // Errors that only XP x64 and Server 2003 x64 meet, which do not stop
    // the installation the dry run replays on x86.
    void AddX64(const std::vector<Finding>& errors) {
        for (const Finding& error : errors) {
            x64Errors_.insert(report_.errors.size());
            report_.errors.push_back(error);
        }
    }

    // The installer tool as the loaders of 2000, XP and XP x64 read it. It
    // starts before the INF is read, so what keeps it from starting comes
    // first.
    void CheckInstaller() {
        const LayoutItem& item = report_.layout.items[kInstallerItem];
        if (item.found.empty()) return;
        report_.installer = CheckInstallerLoads(options_.packageDir, item.found);
        for (const LoadFinding& f : report_.installer->findings)
            (f.error ? report_.errors : report_.warnings)
                .push_back({f.kind, f.file, 0, 0, f.message});
    }

    bool InfRead() const { return report_.inf && report_.inf->error.empty(); }

    // key.ini is what is being written, and the installer plays no part in
    // it: only the INF has to be there.
    void WriteList() {
        for (const Finding& error : report_.layout.errors)
            if (error.file != kListName && error.file != report_.layout.items[kInstallerItem].name)
                report_.errors.push_back(error);
        Add(report_.layout.warnings, &report_.warnings);
        CheckInfFile();
        if (!InfRead()) return;
        WrittenList list = WriteListFromInf(*report_.inf, kInfName);
        if (list.entries > 0) return void(report_.writtenList = std::move(list));
        std::string why;
        for (std::size_t i = 0; i < list.leftOut.size(); ++i)
            why += (i == 0 ? " (" : "; ") + ShortVisible(report_.inf->Id(list.leftOut[i])) + ": " +
                   list.reasons[i];
        Error("no-list", kInfName,
              why.empty() ? "no list written: the INF offers no PCI hardware ID to 2000 and XP on "
                            "x86"
                          : "no list written: no PCI hardware ID the INF offers to 2000 and XP on "
                            "x86 can be an entry" +
                                why + ")");
    }

    // The device files given, a directory standing for the files in it.
    std::vector<std::string> DeviceFiles() {
        std::vector<std::string> files;
        fleet_ = options_.devicesFiles.size() > 1;
        for (const std::string& given : options_.devicesFiles) {
            std::vector<std::string> names;
            if (given == "-" || TypeOf(given) != EntryType::Directory ||
                !ListDirectory(given, &names)) {
                files.push_back(given);
                continue;
            }
            fleet_ = true;
            std::sort(names.begin(), names.end());
            const std::size_t before = files.size();
            for (const std::string& name : names)
                if (name.front() != '.' && TypeOf(JoinPath(given, name)) != EntryType::Directory)
                    files.push_back(JoinPath(given, name));
            if (files.size() == before) Error("bad-devices", given, "no device files in it");
        }
        return files;
    }

    DeviceList ReadDeviceFile(const std::string& file) {
        std::string bytes;
        std::string error;
        const bool read =
            file == "-" ? ReadStandardInput(&bytes, &error) : ReadFileBytes(file, &bytes, &error);
        if (!read) {
            DeviceList failed;
            failed.format = "unreadable";
            failed.error = "cannot read: " + error;
            return failed;
        }
        const int codePage = options_.codePage != 0 ? options_.codePage : kDefaultCodePage;
        return ParseDeviceFile(std::move(bytes), codePage, Shown(file));
    }

    // The detailed dry run of one machine.
    void Single(const std::string& source, DeviceList devices) {
        report_.devicesSource = source;
        report_.devices = std::move(devices);
        if (!Usable(source, *report_.devices)) return;
        report_.dryRun = ReplayLauncher(ListBytes(), report_.devices->names,
                                        AsInstallDir(options_.installDir), cp_);
        const DryRun& run = *report_.dryRun;
        if (run.stoppedAt >= 0) WarnStop(source, report_.devices->names, run.stoppedAt);
        if (run.chosen >= 0 && InfRead())
            report_.chosenInInf = Judge(source, report_.devices->names[Index(run.chosen)]);
        if (run.boxCaption == launcher::kUnsupportedCaption) WarnWorry(source);
        if (!run.command.empty()) report_.installStop = FirstStop();
        if (!run.command.empty() && !x64Errors_.empty())
            report_.installStopX64 = report_.errors[*x64Errors_.begin()];
    }

    // Once the installer starts, any error of the package stops it; so does
    // an INF that lacks the chosen device.
    std::optional<Finding> FirstStop() const {
        for (std::size_t i = 0; i < report_.errors.size(); ++i)
            if (x64Errors_.count(i) == 0) return report_.errors[i];
        for (const Finding& warning : report_.warnings)
            if (warning.kind == "chosen-not-in-inf") return warning;
        return std::nullopt;
    }

    Machine RunMachine(const std::string& file) {
        Machine m;
        m.file = Shown(file);
        const DeviceList devices = ReadDeviceFile(file);
        m.format = devices.format;
        if (!Usable(m.file, devices)) {
            m.error = devices.error;
            return m;
        }
        const DryRun run =
            ReplayLauncher(ListBytes(), devices.names, AsInstallDir(options_.installDir), cp_);
        if (run.stoppedAt >= 0) WarnStop(m.file, devices.names, run.stoppedAt);
        m.command = run.command;
        m.boxCaption = run.boxCaption;
        m.boxText = run.boxText;
        m.chosenEntry = run.chosenEntry;
        if (run.chosen >= 0) m.chosen = devices.names[Index(run.chosen)];
        if (run.chosen >= 0 && InfRead()) m.inInf = Judge(m.file, m.chosen);
        if (run.boxCaption == launcher::kUnsupportedCaption) WarnWorry(m.file);
        return m;
    }

    // key.ini as the launcher would read it; none when it cannot be read.
    std::optional<std::string_view> ListBytes() const {
        if (!report_.list) return std::nullopt;
        return std::string_view(report_.list->bytes);
    }

    static std::size_t Index(int i) { return static_cast<std::size_t>(i); }
    static std::string Shown(const std::string& file) {
        return file == "-" ? "standard input" : file;
    }

    bool Usable(const std::string& source, const DeviceList& devices) {
        Add(devices.warnings, &report_.warnings);
        if (devices.error.empty()) return true;
        if (devices.format == "unreadable")
            Error("unreadable", source, devices.error);
        else
            Error("bad-devices", source,
                  devices.format + ": " + devices.error +
                      (devices.unrecognised ? "; device files are " + FormatNames() : ""));
        return false;
    }

    ChosenInInf Judge(const std::string& source, std::string_view chosen) {
        if (!infIds_) infIds_.emplace(*report_.inf);
        ChosenInInf judged = infIds_->Judge(chosen);
        if (judged.infId >= 0) return judged;
        std::string ids;
        for (const std::string& id : judged.hardwareIds)
            ids += (ids.empty() ? "" : ", ") + Visible(id);
        Warn("chosen-not-in-inf", source,
             "the launcher starts the installer for " + ShortVisible(chosen) + ", but no PCI " +
                 "hardware ID of " + kInfName + " for x86 NT 5.x is one of its IDs (" + ids +
                 "): the INF does not install that device");
        return judged;
    }

    void WarnStop(const std::string& source, const NameList& names, int at) {
        Warn("scan-stops", source,
             "subkey " + std::to_string(at + 1) + " is " + std::to_string(names[Index(at)].size()) +
                 " bytes long and does not fit the launcher's 255-byte name buffer (254 and the "
                 "NUL): its scan fails there, so later subkeys are never compared");
    }

    void WarnWorry(const std::string& source) {
        Warn("worry-box", source,
             "the launcher chooses none of these devices and shows the \"" +
                 std::string(launcher::kUnsupportedCaption) + "\" box");
    }

    const Options& options_;
    const launcher::CodePage& cp_;
    Report& report_;
    bool fleet_ = false;
    std::optional<InfIdIndex> infIds_;
    std::set<std::size_t> x64Errors_;  // indices into report_.errors
};

}  // namespace

Report RunCheck(const Options& options, const launcher::CodePage& cp,
                const std::string& codePageName, const MachineReader& thisMachine) {
    Report report;
    report.options = options;
    report.codePageName = codePageName;
    Checker(options, cp, report).Run(thisMachine);
    return report;
}

int ExitStatus(const Report& report) {
    if (!report.errors.empty()) return 2;
    return report.options.strict && !report.warnings.empty() ? 1 : 0;
}

FleetTotals TotalsOf(const std::vector<Machine>& fleet) {
    FleetTotals t;
    for (const Machine& m : fleet) {
        ++t.machines;
        if (!m.error.empty())
            ++t.errors;
        else if (!m.command.empty())
            ++t.installations;
        else if (m.boxCaption == launcher::kUnsupportedCaption)
            ++t.worryBoxes;
        else
            ++t.otherBoxes;
        if (m.inInf && m.inInf->infId < 0) ++t.chosenNotInInf;
    }
    return t;
}

}  // namespace pkgcheck
