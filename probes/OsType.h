#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace launcher {

// The codes are the launcher's established numbers for these systems, not
// an order of release (Me, 15, came after 2000, 14): compare a code only for
// equality with these constants. 0 means none was found.
using OsType = std::uint8_t;

constexpr OsType OsNone = 0;
constexpr OsType OsWin32s = 9;
constexpr OsType OsWin95 = 10;
constexpr OsType OsWin98 = 11;
constexpr OsType OsWin98SE = 12;
constexpr OsType OsWinNT4 = 13;
constexpr OsType OsWin2000 = 14;
constexpr OsType OsWinMe = 15;
constexpr OsType OsWinXP = 16;

// The code for a filled version record; false, with `type` untouched, when
// the platform identifier is none of the three known ones.
bool ClassifyVersion(const VersionRecord& record, OsType* type);

}  // namespace launcher
