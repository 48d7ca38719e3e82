#pragma once

// Where the files of a driver package lie, relative to its directory: the
// launcher builds these paths, the installer tool finds its twin by them,
// and pkgcheck looks for the same files, so the three must never disagree.
namespace launcher::package {

// The list of supported identifiers, read beside the launcher; the launcher
// takes no other configuration.
constexpr const char* kListFile = "key.ini";

// The installer tool, started by the launcher by its full path.
constexpr const char* kToolFile = "install.exe";

// The title of the tool's window that the launcher waits for. The tool
// titles its window with its own full path; the capital I is the launcher's
// spelling, which matches because window titles are found regardless of
// letter case (FindWindowA). Kept as it is: it is what the launcher has
// always looked for.
constexpr const char* kToolWindowFile = "Install.exe";

// The driver's setup information that the launcher hands to the tool.
constexpr const char* kInfPath = "drv\\stordrv.inf";
constexpr const char* kInfFolder = "drv";
constexpr const char* kInfFile = "stordrv.inf";

// The 64-bit build of the tool, beside the 32-bit one: no 32-bit program can
// install drivers on 64-bit Windows, so the 32-bit tool hands over to it.
constexpr const char* kTool64Path = "amd64\\install.exe";
constexpr const char* kTool64Folder = "amd64";

}  // namespace launcher::package
