// The name list against a plain model of the registry's order: names kept
// in the list's own text or copied into it, sorted with letters compared as
// upper case, and of names equal but for letter case only the first one
// given kept.
//
// Input: names separated by LF (those with a NUL left out); every other one is added as a place in
// the text the list took over, the others as copies after them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pkgcheck/machines/NameList.h"
#include "pkgcheck/read/Text.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

std::vector<std::string> Model(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return pkgcheck::PrecedesInRegistry(a, b);
    });
    names.erase(std::unique(names.begin(), names.end(),
                            [](const std::string& a, const std::string& b) {
                                return pkgcheck::EqualsIgnoringCase(a, b);
                            }),
                names.end());
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> names;
    for (std::size_t start = 0; start <= input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        // No registry name holds a NUL, and the list's order assumes none.
        const std::string_view name = input.substr(start, end - start);
        if (name.find('\0') == std::string_view::npos) names.push_back(name);
        start = end + 1;
    }
    // The places first: a copy added grows the text, and a view of it would
    // then point into the text it had before.
    pkgcheck::NameList list;
    const std::string_view text = list.Adopt(std::string(input));
    std::vector<std::string> given;
    for (std::size_t n = 0; n < names.size(); n += 2) {
        const auto at = static_cast<std::size_t>(names[n].data() - input.data());
        list.Add(text.substr(at, names[n].size()));
        given.emplace_back(names[n]);
    }
    for (std::size_t n = 1; n < names.size(); n += 2) {
        list.Add(std::string(names[n]));
        given.emplace_back(names[n]);
    }
    Check(list.size() == given.size() && list.ToVector() == given);
    list.SortAsRegistry();
    Check(list.ToVector() == Model(given));
    return 0;
}
