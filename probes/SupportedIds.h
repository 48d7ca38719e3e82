#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Mbcs.h"

namespace launcher {

// One identifier of the list: where its bytes lie in `listText`. The text
// already holds every byte, so an entry needs no block of its own and a list
// of millions of short entries costs eight bytes an entry.
struct SupportedId {
    std::uint32_t offset;
    std::uint32_t length;
};

// The list is process-wide data rather than part of the application object:
// it is read once and needed until the process ends, which may happen from
// inside the device scan, and pkgcheck's replay runs the launcher's own
// reader and match over these same variables with no application object.
//
// The whole content of key.ini followed by a NUL byte; lives until the
// process ends.
extern char* listText;
// `supportedIdCount` identifiers in file order, each kept whole; lives until
// the process ends.
extern SupportedId* supportedIds;
extern std::int32_t supportedIdCount;

inline std::string_view IdText(const char* text, const SupportedId& id) {
    return std::string_view(text + id.offset, id.length);
}

// The identifiers of a list: `content` (which ends at the text's first NUL)
// is split into segments at CR bytes, and in each segment everything after
// its first '=' is one entry; LF splits nothing. Calls
// visit(offset, length) for each entry in file order and returns how many
// there were.
template <typename Visit>
std::size_t ForEachSupportedId(std::string_view content, const CodePage& cp, Visit&& visit) {
    std::size_t count = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t equals = FindCharacter(content, '=', start, cp);
        if (equals == std::string_view::npos) break;
        // No code page has CR as a trail byte, so the value ends at the first
        // CR byte.
        std::size_t end = content.find('\r', equals + 1);
        if (end == std::string_view::npos) end = content.size();
        visit(equals + 1, end - equals - 1);
        ++count;
        start = end;
    }
    return count;
}

}  // namespace launcher
