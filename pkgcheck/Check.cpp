#include "pkgcheck/Check.h"

#include <cstdlib>

#include "install/Installer.h"
#include "pkgcheck/Files.h"
#include "pkgcheck/Text.h"

namespace pkgcheck {

const char* const kUsage =
    "usage: pkgcheck PACKAGE_DIR [--devices FILE | --this-machine] [--install-dir DIR]\n"
    "                [--code-page N] [--json] [--strict]\n";

namespace {

const char* const kListName = "key.ini";
const char* const kInfName = "drv\\stordrv.inf";

bool IsSingleByteCodePage(int n) {
    const int known[] = {437,  720,  737,  775,  850,  852,  855,  857,  858,
                         860,  861,  862,  863,  864,  865,  866,  869,  874,
                         1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
    for (const int k : known)
        if (k == n) return true;
    return false;
}

// Takes the value of an option given as "--name VALUE" or "--name=VALUE".
bool OptionValue(const std::vector<std::string>& args, std::size_t* i, const std::string& name,
                 std::string* value, std::string* error) {
    const std::string& arg = args[*i];
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        *value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name) return false;
    if (*i + 1 >= args.size()) {
        *error = name + " needs a value";
        return true;
    }
    *value = args[++*i];
    return true;
}

class Checker {
public:
    Checker(const Options& options, const launcher::CodePage& cp, Report& report)
        : options_(options), cp_(cp), report_(report) {}

    void Run(const MachineReader& thisMachine) {
        report_.layout = CheckLayout(options_.packageDir);
        Add(report_.layout.errors, &report_.errors);
        Add(report_.layout.warnings, &report_.warnings);
        CheckListFile();
        CheckInfFile();
        ReadDevices(thisMachine);
        if (report_.devices && report_.devices->error.empty()) ReplayChoice();
    }

private:
    static void Add(const std::vector<Finding>& from, std::vector<Finding>* to) {
        to->insert(to->end(), from.begin(), from.end());
    }

    void Error(const std::string& kind, const std::string& file, const std::string& message) {
        report_.errors.push_back({kind, file, 0, 0, message});
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

    void ReadDevices(const MachineReader& thisMachine) {
        if (options_.thisMachine) {
            report_.devicesSource = "this machine";
            report_.devices = thisMachine();
        } else if (!options_.devicesFile.empty()) {
            report_.devicesSource = options_.devicesFile;
            std::string bytes;
            std::string error;
            if (!ReadFileBytes(options_.devicesFile, &bytes, &error))
                return Error("unreadable", options_.devicesFile, "cannot read: " + error);
            report_.devices = ParseDeviceFile(bytes);
        } else {
            return;
        }
        if (!report_.devices->error.empty())
            Error("bad-devices", report_.devicesSource,
                  report_.devices->format + ": " + report_.devices->error);
    }

    void ReplayChoice() {
        const std::vector<std::string>& names = report_.devices->names;
        std::optional<std::string> listFile;
        if (report_.list) listFile = report_.list->bytes;
        report_.dryRun = ReplayLauncher(listFile, names, AsInstallDir(options_.installDir), cp_);
        const DryRun& run = *report_.dryRun;
        if (run.stoppedAt >= 0) {
            const std::string& name = names[static_cast<std::size_t>(run.stoppedAt)];
            Warn("scan-stops", "subkey " + std::to_string(run.stoppedAt + 1) + " is " +
                                   std::to_string(name.size()) +
                                   " bytes long and does not fit the launcher's 255-byte name "
                                   "buffer (254 and the NUL): its scan fails there, so later "
                                   "subkeys are never compared");
        }
        if (run.boxCaption == launcher::kUnsupportedCaption)
            Warn("worry-box", "the launcher chooses none of these devices and shows the \"" +
                                  std::string(launcher::kUnsupportedCaption) + "\" box");
    }

    void Warn(const char* kind, std::string message) {
        report_.warnings.push_back({kind, report_.devicesSource, 0, 0, std::move(message)});
    }

    const Options& options_;
    const launcher::CodePage& cp_;
    Report& report_;
};

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
    Arguments parsed;
    Options& o = parsed.options;
    std::string value;
    std::string& error = parsed.error;
    for (std::size_t i = 0; i < args.size() && error.empty(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--strict") {
            o.strict = true;
        } else if (arg == "--this-machine") {
            o.thisMachine = true;
        } else if (OptionValue(args, &i, "--devices", &value, &error)) {
            o.devicesFile = value;
        } else if (OptionValue(args, &i, "--install-dir", &value, &error)) {
            o.installDir = value;
        } else if (OptionValue(args, &i, "--code-page", &value, &error)) {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            launcher::CodePage unused;
            if (value.empty() || *end != '\0' || !CodePageFor(static_cast<int>(n), &unused))
                error = "unknown code page '" + value + "'";
            o.codePage = static_cast<int>(n);
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
        } else if (o.packageDir.empty()) {
            o.packageDir = arg;
        } else {
            error = "more than one package directory ('" + o.packageDir + "', '" + arg + "')";
        }
    }
    if (!error.empty() || parsed.help) return parsed;
    if (o.packageDir.empty()) error = "no package directory given";
    if (o.thisMachine && !o.devicesFile.empty())
        error = "--devices and --this-machine exclude each other";
    if (o.installDir.empty()) error = "--install-dir needs a directory";
    return parsed;
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

}  // namespace pkgcheck
