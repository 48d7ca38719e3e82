#include "pkgcheck/cli/Arguments.h"

#include <algorithm>
#include <string_view>

#include "pkgcheck/machines/Devices.h"
#include "pkgcheck/machines/ThisMachine.h"
#include "pkgcheck/read/Ansi.h"
#include "pkgcheck/read/Text.h"
#include "res/version.h"

namespace pkgcheck {

const char* const kUsage =
    "usage: pkgcheck [OPTIONS] [--] PACKAGE_DIR\n"
    "options: [--devices FILE|DIR|- ...| --this-machine] [--install-dir DIR]\n"
    "         [--code-page N] [--trust FILE ...] [--json] [--strict] [--help] [--version]\n"
    "       pkgcheck --write-list [--] PACKAGE_DIR > PACKAGE_DIR/key.ini\n";

namespace {

// `text` after `line`, wrapped at 80 columns, each line filled with blanks
// to `column` first.
std::string Wrapped(std::string line, std::string_view text, std::size_t column) {
    constexpr std::size_t kWidth = 80;
    std::string lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(' '), text.size());
        const std::string_view word = text.substr(0, end);
        if (line.size() >= column && line.size() + 1 + word.size() > kWidth) {
            lines += line + "\n";
            line.clear();
        }
        line.resize(line.size() < column ? column : line.size() + 1, ' ');
        line += word;
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines + line + "\n";
}

std::string DeviceFormatLines() {
    std::string lines;
    std::vector<std::string> loose;
    for (const DeviceFormatInfo& format : DeviceFormats()) {
        lines += Wrapped("  " + std::string(format.name), format.help, 20);
        if (format.looseNames) loose.push_back(format.name);
    }
    return lines +
           Wrapped("",
                   "UTF-16 files (with or without a byte-order mark) and UTF-8 files with one are "
                   "read in the code page; characters it lacks become '?'. A name of another form "
                   "is kept and compared all the same. A file other than a " +
                       Enumerated(loose, "or") +
                       " with no name of that form, or any file with NUL bytes, is an error.",
                   2);
}

}  // namespace

std::string HelpText() {
    return std::string(
               "pkgcheck: what the launcher will read from a driver package and which PCI\n"
               "device it will choose, and whether 2000 and XP then start the installer tool\n"
               "and find the files the INF installs, before the package ships.\n\n") +
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
           "  --trust FILE        A root certificate (PEM) of the builder's own that the\n"
           "                      catalog's signature may chain to, besides Microsoft's\n"
           "                      roots; may be given more than once.\n"
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
           "Device files (the format is told from the content):\n" +
           DeviceFormatLines() +
           "\n"
           "Exit status: 0 when nothing is wrong (warnings alone do not count without\n"
           "--strict), 1 for warnings under --strict, 2 for errors: a missing or unreadable\n"
           "file, a device file that is not one of the formats above, a wrong command line,\n"
           "and what keeps the package from installing on XP SP3: an installer tool it does\n"
           "not start, a file the INF copies that is not in the package, a driver it does\n"
           "not load, a catalog named but missing; and, when the INF has models for XP x64,\n"
           "the same for XP x64: a missing or unusable amd64\\install.exe, or an amd64\n"
           "payload that is not there or does not load.\n";
}

std::string VersionText() { return "pkgcheck " LAUNCHER_VERSION_TEXT "\n"; }

namespace {

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
            } else if (Value("--trust", &value)) {
                o.trustFiles.push_back(value);
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

}  // namespace

Arguments ParseArguments(const std::vector<std::string>& args) {
    return ArgumentParser(args).Parse();
}

CodePageSetting SettleCodePage(int given) {
    CodePageSetting setting;
    setting.cp = DefaultCodePage(&setting.name, &setting.number);
    if (given == 0) return setting;
    CodePageFor(given, &setting.cp);
    setting.number = given;
    setting.name = std::to_string(given);
    return setting;
}

}  // namespace pkgcheck
