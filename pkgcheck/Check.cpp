#include "pkgcheck/Check.h"

#include <algorithm>
#include <unordered_map>

#include "install/Installer.h"
#include "pkgcheck/Files.h"
#include "pkgcheck/Text.h"
#include "res/version.h"

namespace pkgcheck {

const char* const kUsage =
    "usage: pkgcheck [OPTIONS] [--] PACKAGE_DIR\n"
    "options: [--devices FILE|DIR|- ...| --this-machine] [--install-dir DIR]\n"
    "         [--code-page N] [--json] [--strict] [--help] [--version]\n"
    "       pkgcheck --write-list [--] PACKAGE_DIR > PACKAGE_DIR/key.ini\n";

std::string HelpText() {
    return std::string(
               "pkgcheck: what the launcher will read from a driver package and which PCI\n"
               "device it will choose, before the package ships.\n\n") +
           kUsage +
           "\n"
           "  --devices FILE      Replay the launcher's choice for the machine whose PCI\n"
           "                      devices FILE lists (see below); \"-\" reads standard input.\n"
           "                      Given several times, or naming a directory (one file a\n"
           "                      machine), it reports one row per machine and totals.\n"
           "  --this-machine      Replay the choice for the running machine: its registry on\n"
           "                      Windows, /sys/bus/pci/devices on Linux.\n"
           "  --install-dir DIR   The directory the launcher runs from, for the command line\n"
           "                      (default C:\\pkg\\).\n"
           "  --code-page N       The user's ANSI code page, a number such as 1252 or 932: it\n"
           "                      decides how the launcher splits key.ini into characters and\n"
           "                      how Unicode device files become its bytes (default: 1252\n"
           "                      on Linux, the system's on Windows).\n"
           "  --json              The same report as JSON.\n"
           "  --strict            Exit status 1 when there are warnings.\n"
           "  --write-list        Instead of the report, write to standard output a key.ini\n"
           "                      with the PCI IDs that drv\\stordrv.inf offers to 2000 and\n"
           "                      XP on x86; its warnings go to standard error. key.ini and\n"
           "                      install.exe need not be there yet.\n"
           "  -h, --help          This text.\n"
           "  --version           The version.\n"
           "  --                  Ends the options; what follows is the package directory.\n"
           "\n"
           "Device files (the format is told from the content):\n"
           "  reg export        of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI,\n"
           "                    REGEDIT4 or Windows Registry Editor 5.00\n"
           "  reg query         what reg query HKLM\\SYSTEM\\CurrentControlSet\\Enum\\PCI\n"
           "                    prints\n"
           "  lspci             what lspci -n, -nv, -nmm or -vmmn prints; lspci -n alone\n"
           "                    shows no subsystem IDs, and SUBSYS_00000000 is assumed\n"
           "  subkey names      VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh, one a line (#\n"
           "                    starts a comment; PCI\\NAME\\INSTANCE stands for NAME)\n"
           "  UTF-16 files (with or without a byte-order mark) and UTF-8 files with one\n"
           "  are read in the code page; characters it lacks become '?'. A name of another\n"
           "  form is kept and compared all the same. A file other than a reg export or\n"
           "  reg query with no name of that form, or any file with NUL bytes, is an\n"
           "  error.\n"
           "\n"
           "Exit status: 0 when nothing is wrong (warnings alone do not count without\n"
           "--strict), 1 for warnings under --strict, 2 for errors: a missing or unreadable\n"
           "file, a device file that is not one of the formats above, a wrong command line.\n";
}

std::string VersionText() { return "pkgcheck " LAUNCHER_VERSION_TEXT "\n"; }

namespace {

const char* const kListName = "key.ini";
const char* const kInfName = "drv\\stordrv.inf";
// Device files are read in this code page when none is given.
constexpr int kDefaultCodePage = 1252;

bool IsSingleByteCodePage(int n) {
    const int known[] = {437,  720,  737,  775,  850,  852,  855,  857,  858,
                         860,  861,  862,  863,  864,  865,  866,  869,  874,
                         1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    for (const int k : known)
        if (k == n) return true;
    return false;
}

bool ParseCodePage(const std::string& value, int* number) {
    if (value.empty() || value.size() > 5 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    *number = std::stoi(value);
    launcher::CodePage unused;
    return CodePageFor(*number, &unused);
}

class ArgumentParser {
public:
    explicit ArgumentParser(const std::vector<std::string>& args) : args_(args) {}

    Arguments Parse() {
        Options& o = parsed_.options;
        std::string value;
        bool optionsEnded = false;
        bool installDirGiven = false;
        bool codePageGiven = false;
        for (i_ = 0; i_ < args_.size() && Ok(); ++i_) {
            const std::string& arg = args_[i_];
            if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
                Positional(arg);
            } else if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "-h" || arg == "--help") {
                parsed_.help = true;
            } else if (arg == "--version") {
                parsed_.version = true;
            } else if (arg == "--json") {
                o.json = true;
            } else if (arg == "--strict") {
                o.strict = true;
            } else if (arg == "--write-list") {
                o.writeList = true;
            } else if (arg == "--this-machine") {
                o.thisMachine = true;
            } else if (Value("--devices", &value)) {
                o.devicesFiles.push_back(value);
            } else if (Value("--install-dir", &value)) {
                Once("--install-dir", &installDirGiven);
                o.installDir = value;
            } else if (Value("--code-page", &value)) {
                Once("--code-page", &codePageGiven);
                if (Ok() && !ParseCodePage(value, &o.codePage))
                    Fail(
                        "--code-page takes the number of a Windows ANSI code page (1252, 932, "
                        "...), not '" +
                        value + "'");
            } else if (Ok()) {
                Fail("unknown option '" + arg + "'");
            }
        }
        if (!Ok() || parsed_.help || parsed_.version) return parsed_;
        if (o.packageDir.empty()) return Fail("no package directory given");
        if (o.thisMachine && !o.devicesFiles.empty())
            return Fail("--devices and --this-machine exclude each other");
        if (std::count(o.devicesFiles.begin(), o.devicesFiles.end(), "-") > 1)
            return Fail("standard input (--devices -) can be read only once");
        if (o.writeList && (o.json || o.strict || o.thisMachine || !o.devicesFiles.empty()))
            return Fail(
                "--write-list writes key.ini and no report: it takes no --json, --strict, "
                "--devices or --this-machine");
        return parsed_;
    }

private:
    bool Ok() const { return parsed_.error.empty(); }
    Arguments Fail(const std::string& error) {
        if (Ok()) parsed_.error = error;
        return parsed_;
    }

    void Positional(const std::string& arg) {
        std::string& dir = parsed_.options.packageDir;
        if (arg.empty()) return void(Fail("empty package directory"));
        if (!dir.empty())
            return void(Fail("more than one package directory ('" + dir + "', '" + arg + "')"));
        dir = arg;
    }

    void Once(const char* name, bool* given) {
        if (*given) Fail(std::string(name) + " given twice");
        *given = true;
    }

    // The value of an option given as "--name VALUE" or "--name=VALUE".
    bool Value(const std::string& name, std::string* value) {
        const std::string& arg = args_[i_];
        if (arg.compare(0, name.size() + 1, name + "=") == 0) {
            *value = arg.substr(name.size() + 1);
        } else if (arg != name) {
            return false;
        } else if (i_ + 1 >= args_.size()) {
            Fail(name + " needs a value");
            return true;
        } else {
            *value = args_[++i_];
        }
        if (value->empty()) Fail(name + " has an empty value");
        return true;
    }

    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
    Arguments parsed_;
};

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
        report_.inf = ReadInf(bytes, kInfName);
        if (!report_.inf->error.empty())
            return Error("unreadable", kInfName, "cannot read as text: " + report_.inf->error);
        Add(report_.inf->warnings, &report_.warnings);
        if (!report_.list) return;
        report_.cross = CrossCheckInf(*report_.list, *report_.inf, cp_, kListName, kInfName);
        Add(report_.cross->warnings, &report_.warnings);
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
                      (devices.unrecognised ? std::string("; device files are ") + kDeviceFormats
                                            : ""));
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
};

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
    return ArgumentParser(args).Parse();
}

bool CodePageFor(int number, launcher::CodePage* cp) {
    if (number == 932) {
        *cp = launcher::CodePage::WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
    } else if (number == 936 || number == 949 || number == 950) {
        *cp = launcher::CodePage::WithLeadRanges({{0x81, 0xFE}});
    } else if (IsSingleByteCodePage(number)) {
        *cp = launcher::CodePage::SingleByte();
    } else {
        return false;
    }
    return true;
}

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
