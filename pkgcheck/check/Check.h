#pragma once
// One whole check of a package directory, from the command line to the
// findings, with no output of its own.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pkgcheck/check/DryRun.h"
#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/machines/Devices.h"
#include "pkgcheck/package/CatalogCheck.h"
#include "pkgcheck/package/ChosenInInf.h"
#include "pkgcheck/package/InfCross.h"
#include "pkgcheck/package/Layout.h"
#include "pkgcheck/package/ListFile.h"
#include "pkgcheck/package/Payload.h"
#include "pkgcheck/package/WriteList.h"
#include "pkgcheck/pe/InstallerLoad.h"
#include "pkgcheck/read/Ansi.h"
#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// What one check is asked to do, as the command line gives it.
struct Options {
    std::string packageDir;
    // "-" is standard input; a directory holds one device file a machine.
    std::vector<std::string> devicesFiles;
    bool thisMachine = false;
    std::string installDir = "C:\\pkg\\";
    bool json = false;
    bool strict = false;
    bool writeList = false;  // key.ini from the INF instead of the report
    int codePage = 0;        // as given; 0: none (the command line settles it, see cli/)
    std::vector<std::string> trustFiles;  // --trust: PEM roots of the builder's own
};

// One machine replayed: the outcome of its device file, a row of a fleet.
struct Machine {
    std::string file;
    std::string format;
    DevicesFailure failure = DevicesFailure::None;
    std::string error;   // when the file gave no names: why
    std::string chosen;  // the subkey name; empty when none is chosen
    int chosenEntry = -1;
    std::string command;
    std::string boxCaption;
    std::string boxText;
    std::optional<ChosenInInf> inInf;  // when a device is chosen and the INF was read
};

struct FleetTotals {
    int machines = 0;
    int installations = 0;
    int worryBoxes = 0;
    int otherBoxes = 0;  // "key.ini not found !!"
    int chosenNotInInf = 0;
    int errors = 0;
};

struct Report {
    Options options;
    std::string codePageName;
    Layout layout;
    std::optional<ListFile> list;
    std::optional<InfContents> inf;
    std::optional<CrossCheck> cross;
    // When install.exe was found, and the INF was read; neither with --write-list.
    std::optional<InstallerLoad> installer;
    std::optional<Payload> payload;
    // When the INF has models for XP x64 and Server 2003 x64: the 64-bit tool
    // amd64\install.exe (when found), and what those systems install.
    std::optional<InstallerLoad> installer64;
    std::optional<Payload> payloadAmd64;
    std::vector<CatalogCheck>
        catalogs;  // one for each architecture whose catalog is there (x86 first)
    std::string devicesSource;
    std::optional<DeviceList> devices;
    std::optional<DryRun> dryRun;
    std::optional<ChosenInInf> chosenInInf;
    // When the dry run starts the installer: the first finding that keeps
    // it from installing the device; none when nothing does.
    std::optional<Finding> installStop;
    // The same on XP x64 and Server 2003 x64, when the INF has models for
    // them: the first error that is not x86's alone.
    std::optional<Finding> installStopX64;
    // Set instead of `devices` and `dryRun` when several device files, or a
    // directory of them, are given.
    std::optional<std::vector<Machine>> fleet;
    std::optional<WrittenList> writtenList;  // with --write-list, unless an error kept it
    std::vector<Finding> warnings;
    std::vector<Finding> errors;
};

using MachineReader = std::function<DeviceList()>;
Report RunCheck(const Options& options, const CodePageSetting& codePage,
                const MachineReader& thisMachine);

// 2 with errors, 1 with warnings under --strict, else 0.
int ExitStatus(const Report& report);

FleetTotals TotalsOf(const std::vector<Machine>& fleet);

}  // namespace pkgcheck
