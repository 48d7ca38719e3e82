#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Mbcs.h"

namespace launcher {

// The whole content of key.ini followed by a NUL byte; lives until the
// process ends.
extern char* listText;
// Identifiers in file order, each kept whole.
extern std::vector<std::string> supportedIds;
extern std::int32_t supportedIdCount;

// The identifiers of a list text: the content up to its first NUL is split
// into segments at CR bytes, and in each segment everything after its first
// '=' is one entry. LF splits nothing.
std::vector<std::string> ParseSupportedIds(const char* text, const CodePage& cp);

// The same entries with the offset of each one's first byte in `text`, for
// tools that report where an entry comes from.
struct LocatedId {
    std::size_t offset;
    std::string text;
};
std::vector<LocatedId> LocateSupportedIds(const char* text, const CodePage& cp);

}  // namespace launcher
