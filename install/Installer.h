#pragma once

#include <string_view>

#include "platform/ByteString.h"

namespace launcher {

// The installer tool's command line for a package in `installDir` and the
// matched device (`deviceKey` is the subkey name with its closing quote);
// false without memory for it.
bool ComposeInstallerCommand(ByteString& command, std::string_view installDir,
                             std::string_view deviceKey);
// The title of the window that stands for the running installer tool.
bool InstallerWindowTitle(ByteString& title, std::string_view installDir);

constexpr unsigned kSettleMilliseconds = 500;
// The box's words are the launcher's own, typos included, and are kept byte
// for byte: users quote them and setup scripts look for them.
constexpr unsigned kPollMilliseconds = 2000;
constexpr const char* kUnsupportedText =
    "Sorry!! We don't support this ID. \nYour ID are't Correctly!!";
constexpr const char* kUnsupportedCaption = "Worry";

}  // namespace launcher
