#pragma once
// Windows paths as 8-bit strings in the ANSI code page.

#include <string_view>

#include "platform/Mbcs.h"

namespace launcher {

// Whether `path` is full, not resolved against a current directory or
// drive: C:\... or \\server\... (also \\?\C:\...).
bool IsFullPath(std::string_view path);

// The directory part of a file's full path, with its final backslash; empty
// unless that is a full directory (a drive's or a network share's), so that
// a cut or odd path never stands for the current directory or a parent.
std::string_view DirectoryOf(std::string_view path, const CodePage& cp);

}  // namespace launcher
