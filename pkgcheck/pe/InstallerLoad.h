#pragma once
// Whether the loaders of Windows 2000, XP and XP x64 / Server 2003 x64
// (WOW64) start the installer tool: its headers, and every DLL and function
// it imports, through the DLLs the package ships beside it.

#include <string>
#include <vector>

#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

// What the loaders map to start the tool, and what keeps them from it.
struct InstallerLoad {
    std::vector<std::string> filesRead;  // install.exe, then the DLLs beside it that it loads
    // An error: XP SP3 on x86 refuses the tool, else only older or x64
    // systems do; for the 64-bit tool, XP x64 refuses it. Each names the
    // file it is about as spelled in the package.
    std::vector<Finding> findings;
};

// Which tool: install.exe, which 2000, XP and XP x64 (WOW64) start, or
// amd64\install.exe, the 64-bit one that XP x64 starts in its place.
enum class ToolKind { X86, Amd64 };

// `installerFound`: the tool's path as it is spelled in `packageDir`
// (install.exe, AMD64\install.exe); the DLLs it ships lie beside it.
InstallerLoad CheckInstallerLoads(const std::string& packageDir, const std::string& installerFound,
                                  ToolKind kind = ToolKind::X86);

}  // namespace pkgcheck
