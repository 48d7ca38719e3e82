#pragma once

#include <string>

namespace launcher {

// The installer tool's command line for a package in `installDir` and the
// matched device (`deviceKey` is the subkey name with its closing quote).
std::string ComposeInstallerCommand(const std::string& installDir, const std::string& deviceKey);
// The title of the window that stands for the running installer tool.
std::string InstallerWindowTitle(const std::string& installDir);

constexpr unsigned kSettleMilliseconds = 500;
constexpr unsigned kPollMilliseconds = 2000;
constexpr const char* kUnsupportedText =
    "Sorry!! We don't support this ID. \nYour ID are't Correctly!!";
constexpr const char* kUnsupportedCaption = "Worry";

}  // namespace launcher
