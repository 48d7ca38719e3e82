#pragma once
// The launcher's choice replayed: its own code reads the list, walks the
// given subkey names and composes the command line, against a scripted
// machine instead of Windows.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/machines/Devices.h"
#include "pkgcheck/read/Finding.h"
#include "platform/Mbcs.h"

namespace pkgcheck {

struct DryRun {
    // Exactly one of these two is set: the program started, or the box shown.
    std::string command;
    std::string boxText;
    std::string boxCaption;

    int chosen = -1;              // index into the names
    int chosenEntry = -1;         // the list entry that made it match
    int namesRead = 0;            // how many names the launcher asked for
    int stoppedAt = -1;           // index of a name too long for the launcher's buffer
    std::vector<int> firstMatch;  // per name: the first entry occurring in it, or -1
};

// `listFile` empty means key.ini cannot be read. `installDir` ends in '\'.
DryRun ReplayLauncher(std::optional<std::string_view> listFile, const NameList& names,
                      const std::string& installDir, const launcher::CodePage& cp);

// What the replay warns of: a subkey name too long for the launcher's
// buffer, and the "Worry" box. `source` names the device file.
std::vector<Finding> ReplayWarnings(const DryRun& run, const NameList& names,
                                    const std::string& source);

// The launcher's install directory for a directory given by hand: with its
// final backslash, as the launcher derives it from its own path.
std::string AsInstallDir(std::string dir);

}  // namespace pkgcheck
