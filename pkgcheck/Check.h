#pragma once
// One whole check of a package directory, from the command line to the
// findings, with no output of its own.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pkgcheck/Devices.h"
#include "pkgcheck/DryRun.h"
#include "pkgcheck/Finding.h"
#include "pkgcheck/Inf.h"
#include "pkgcheck/Layout.h"
#include "pkgcheck/ListCheck.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

extern const char* const kUsage;

struct Options {
    std::string packageDir;
    std::string devicesFile;
    bool thisMachine = false;
    std::string installDir = "C:\\pkg\\";
    bool json = false;
    bool strict = false;
    int codePage = 0;  // 0: the default of the build
};

struct Arguments {
    Options options;
    bool help = false;
    std::string error;  // non-empty: the command line is wrong
};
Arguments ParseArguments(const std::vector<std::string>& args);

// The lead bytes of a Windows ANSI code page given by number; false for a
// number that names none.
bool CodePageFor(int number, launcher::CodePage* cp);

struct Report {
    Options options;
    std::string codePageName;
    Layout layout;
    std::optional<ListCheck> list;
    std::optional<InfCheck> inf;
    std::optional<CrossCheck> cross;
    std::string devicesSource;
    std::optional<DeviceList> devices;
    std::optional<DryRun> dryRun;
    std::vector<Finding> warnings;
    std::vector<Finding> errors;
};

using MachineReader = std::function<DeviceList()>;
Report RunCheck(const Options& options, const launcher::CodePage& cp,
                const std::string& codePageName, const MachineReader& thisMachine);

// 2 with errors, 1 with warnings under --strict, else 0.
int ExitStatus(const Report& report);

}  // namespace pkgcheck
