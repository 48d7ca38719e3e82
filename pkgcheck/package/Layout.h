#pragma once
// Whether the files the launcher and the installer tool rely on are where
// Windows would look for them.

#include <string>
#include <vector>

#include "pkgcheck/read/Finding.h"

namespace pkgcheck {

struct LayoutItem {
    std::string name;   // as the launcher names it, e.g. drv\stordrv.inf
    std::string found;  // as it is spelled on disk; empty when missing
    std::string path;   // host path to open
    std::string problem;
    std::string dir;  // host path of the directory it lies in, when found
};

struct Layout {
    std::vector<LayoutItem> items;  // key.ini, install.exe, drv\stordrv.inf
    std::vector<Finding> errors;
    std::vector<Finding> warnings;
};
constexpr std::size_t kListItem = 0;
constexpr std::size_t kInstallerItem = 1;
constexpr std::size_t kInfItem = 2;

// Looks each file up as Windows does: letter case does not matter.
Layout CheckLayout(const std::string& packageDir);

// The 64-bit tool amd64\install.exe, which must be there when the INF has
// models for XP x64 and Server 2003 x64: one item, and the error when it is
// missing.
Layout FindInstaller64(const std::string& packageDir);

// The bytes of an item that was found; false, with an error when it cannot
// be read.
bool ReadLayoutFile(const LayoutItem& item, std::string* bytes, std::vector<Finding>* errors);

}  // namespace pkgcheck
