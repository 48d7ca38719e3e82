#pragma once
// The command line: what it asks of the check, and the texts it shows.

#include <string>
#include <vector>

#include "pkgcheck/check/Check.h"

namespace pkgcheck {

// The synopsis, shown with a wrong command line, and the whole help.
extern const char* const kUsage;
std::string HelpText();
std::string VersionText();

struct Arguments {
    Options options;
    bool help = false;
    bool version = false;
    std::string error;  // non-empty: the command line is wrong
};
Arguments ParseArguments(const std::vector<std::string>& args);

// The code page the whole check reads by: the one --code-page gives (a
// number ParseArguments took), else this system's, as the launcher would
// use it here (1252 on hosts other than Windows).
CodePageSetting SettleCodePage(int given);

}  // namespace pkgcheck
