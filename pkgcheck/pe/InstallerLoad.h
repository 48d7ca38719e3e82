#pragma once
// Whether the loaders of Windows 2000, XP and XP x64 / Server 2003 x64
// (WOW64) start the installer tool: its headers, and every DLL and function
// it imports, through the DLLs the package ships beside it.

#include <string>
#include <vector>

namespace pkgcheck {

struct LoadFinding {
    bool error = false;  // XP SP3 x86 refuses the tool; else only older or x64 systems do
    std::string kind;
    std::string file;  // the file the finding is about, as spelled in the package
    std::string message;
};

struct LoadCheck {
    std::vector<std::string> filesRead;  // install.exe, then the DLLs beside it that it loads
    std::vector<LoadFinding> findings;
};

// `installerFound`: install.exe's name as it is spelled in `packageDir`.
LoadCheck CheckInstallerLoads(const std::string& packageDir, const std::string& installerFound);

}  // namespace pkgcheck
