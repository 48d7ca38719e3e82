#include "pkgcheck/check/Check.h"

#include "install/Installer.h"
#include "pkgcheck/machines/DeviceFiles.h"
#include "platform/PackageFiles.h"

namespace pkgcheck {

namespace {

const char* const kListName = launcher::package::kListFile;
const char* const kInfName = launcher::package::kInfPath;

// The stages in order, each on what the ones before it found; every
// finding goes to the report as its stage gives it.
class Checker {
public:
    Checker(const Options& options, const CodePageSetting& codePage, Report& report)
        : options_(options), codePage_(codePage), report_(report) {}

    void Run(const MachineReader& thisMachine) {
        report_.layout = CheckLayout(options_.packageDir);
        if (options_.writeList) return WriteList();
        Take(report_.layout.errors);
        Take(report_.layout.warnings);
        ReadListFile();
        ReadInfFile();
        CheckInstaller();
        CheckInstaller64();
        CheckPayloads();
        ReplayMachines(thisMachine);
    }

private:
    // A stage's findings, each to the report's part for its severity.
    void Take(const std::vector<Finding>& findings) {
        for (const Finding& f : findings)
            (f.severity == Severity::Error ? report_.errors : report_.warnings).push_back(f);
    }

    bool InfRead() const { return report_.inf && report_.inf->error.empty(); }

    void ReadListFile() {
        std::string bytes;
        if (!ReadLayoutFile(report_.layout.items[kListItem], &bytes, &report_.errors)) return;
        report_.list = ReadList(std::move(bytes), codePage_.cp, kListName);
        Take(report_.list->warnings);
    }

    void ReadInfFile() {
        std::string bytes;
        if (!ReadLayoutFile(report_.layout.items[kInfItem], &bytes, &report_.errors)) return;
        report_.inf = ReadInf(std::move(bytes), kInfName);
        Take(report_.inf->errors);
        if (!InfRead()) return;
        Take(report_.inf->warnings);
        if (!report_.list) return;
        report_.cross =
            CrossCheckInf(*report_.list, *report_.inf, codePage_.cp, kListName, kInfName);
        Take(report_.cross->errors);
        Take(report_.cross->warnings);
    }

    // The installer tool as the loaders of 2000, XP and XP x64 read it. It
    // starts before the INF is read, so what keeps it from starting comes
    // first.
    void CheckInstaller() {
        const LayoutItem& item = report_.layout.items[kInstallerItem];
        if (item.found.empty()) return;
        report_.installer = CheckInstallerLoads(options_.packageDir, item.found);
        Take(report_.installer->findings);
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
        const Layout tool = FindInstaller64(options_.packageDir);
        report_.layout.items.push_back(tool.items.front());
        Take(tool.errors);
        const std::string& found = tool.items.front().found;
        if (found.empty()) return;
        report_.installer64 = CheckInstallerLoads(options_.packageDir, found, ToolKind::Amd64);
        Take(report_.installer64->findings);
    }

    // What the INF's install sections copy, and the catalog, beside it: for
    // x86, and for amd64 when the INF serves x64.
    void CheckPayloads() {
        if (!InfRead()) return;
        const LayoutItem& item = report_.layout.items[kInfItem];
        const std::string dirShown = item.found.substr(0, item.found.rfind('\\'));
        const CatalogSubject inf{item.found, item.path};
        report_.payload = CheckPayload(*report_.inf, item.dir, dirShown, kInfName);
        TakePayload(*report_.payload,
                    CatalogRequestFor(*report_.payload, inf, "x86", {"2:5.0", "2:5.1", "2:5.2"},
                                      "2000, XP and Server 2003"));
        if (!ServesX64()) return;
        report_.payloadAmd64 =
            CheckPayload(*report_.inf, item.dir, dirShown, kInfName, PayloadArch::Amd64);
        TakePayload(*report_.payloadAmd64,
                    CatalogRequestFor(*report_.payloadAmd64, inf, "amd64", {"2:5.2"},
                                      "XP x64 and Server 2003 x64"));
    }

    // A payload's findings, then whether its catalog holds every file that
    // the INF installs.
    void TakePayload(const Payload& payload, std::optional<CatalogRequest> request) {
        Take(payload.errors);
        Take(payload.warnings);
        if (!request) return;
        if (!trust_) {
            std::vector<Finding> errors;
            trust_ = LoadTrust(options_.trustFiles, &errors);
            Take(errors);
        }
        request->trust = &*trust_;
        report_.catalogs.push_back(CheckCatalogMembers(*request));
        Take(report_.catalogs.back().errors);
        Take(report_.catalogs.back().warnings);
    }

    // key.ini is what is being written, and the installer plays no part in
    // it: only the INF has to be there.
    void WriteList() {
        for (const Finding& error : report_.layout.errors)
            if (error.file != kListName && error.file != report_.layout.items[kInstallerItem].name)
                report_.errors.push_back(error);
        Take(report_.layout.warnings);
        ReadInfFile();
        if (!InfRead()) return;
        WrittenList list = WriteListFromInf(*report_.inf, kInfName);
        Take(list.errors);
        if (list.entries > 0) report_.writtenList = std::move(list);
    }

    // The machine given, the running one or those of the device files: one
    // in detail, several (or a directory of them) a row each.
    void ReplayMachines(const MachineReader& thisMachine) {
        if (options_.thisMachine) return ShowMachine("this machine", thisMachine());
        const DeviceFileSet given = ListDeviceFiles(options_.devicesFiles);
        Take(given.errors);
        if (!given.fleet) {
            for (const std::string& file : given.files)
                ShowMachine(DeviceFileName(file), ReadDeviceFile(file, codePage_.number));
            return;
        }
        report_.fleet.emplace();
        for (const std::string& file : given.files)
            report_.fleet->push_back(
                Replay(DeviceFileName(file), ReadDeviceFile(file, codePage_.number), nullptr));
    }

    // The detailed dry run of one machine.
    void ShowMachine(const std::string& source, DeviceList devices) {
        std::optional<DryRun> run;
        const Machine machine = Replay(source, devices, &run);
        report_.devicesSource = source;
        report_.devices = std::move(devices);
        if (!run) return;
        report_.dryRun = std::move(run);
        report_.chosenInInf = machine.inInf;
        if (machine.command.empty()) return;
        report_.installStop = FirstStop();
        if (report_.payloadAmd64) report_.installStopX64 = FirstStopX64();
    }

    // One machine: the launcher's choice replayed over its devices, and
    // whether the INF installs the device chosen. `run` keeps the replay
    // itself, when it is wanted and the devices could be read.
    Machine Replay(const std::string& source, const DeviceList& devices,
                   std::optional<DryRun>* run) {
        Machine m;
        m.file = source;
        m.format = devices.format;
        m.failure = devices.failure;
        Take(devices.warnings);
        if (devices.failure != DevicesFailure::None) {
            m.error = devices.error;
            Take({DevicesError(devices, source)});
            return m;
        }
        DryRun replayed = ReplayLauncher(ListBytes(), devices.names,
                                         AsInstallDir(options_.installDir), codePage_.cp);
        Take(ReplayWarnings(replayed, devices.names, source));
        m.command = replayed.command;
        m.boxCaption = replayed.boxCaption;
        m.boxText = replayed.boxText;
        m.chosenEntry = replayed.chosenEntry;
        if (replayed.chosen >= 0)
            m.chosen = devices.names[static_cast<std::size_t>(replayed.chosen)];
        if (replayed.chosen >= 0 && InfRead()) {
            if (!infIds_) infIds_.emplace(*report_.inf, kInfName);
            m.inInf = infIds_->Find(m.chosen, source, &report_.warnings);
        }
        if (run != nullptr) *run = std::move(replayed);
        return m;
    }

    // Once the installer starts, any error of the package stops it but what
    // only XP x64 meets; so does an INF that lacks the chosen device.
    std::optional<Finding> FirstStop() const {
        for (const Finding& error : report_.errors)
            if (error.scope != Scope::Amd64) return error;
        for (const Finding& warning : report_.warnings)
            if (warning.kind == "chosen-not-in-inf") return warning;
        return std::nullopt;
    }

    std::optional<Finding> FirstStopX64() const {
        for (const Finding& error : report_.errors)
            if (error.scope != Scope::X86) return error;
        return std::nullopt;
    }

    // key.ini as the launcher would read it; none when it cannot be read.
    std::optional<std::string_view> ListBytes() const {
        if (!report_.list) return std::nullopt;
        return std::string_view(report_.list->bytes);
    }

    const Options& options_;
    std::optional<TrustStore> trust_;  // read when the first catalog is checked
    const CodePageSetting& codePage_;
    Report& report_;
    std::optional<InfIdIndex> infIds_;
};

}  // namespace

Report RunCheck(const Options& options, const CodePageSetting& codePage,
                const MachineReader& thisMachine) {
    Report report;
    report.options = options;
    report.codePageName = codePage.name;
    Checker(options, codePage, report).Run(thisMachine);
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
