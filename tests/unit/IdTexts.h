#pragma once
// The entries of a list as texts, for tests and benchmarks.

#include <string>
#include <string_view>
#include <vector>

#include "probes/SupportedIds.h"

namespace launcher::testing {

inline std::vector<std::string> ParseSupportedIds(std::string_view content, const CodePage& cp) {
    std::vector<std::string> ids;
    ForEachSupportedId(content, cp, [&](std::size_t offset, std::size_t length) {
        ids.emplace_back(content.substr(offset, length));
    });
    return ids;
}

}  // namespace launcher::testing
