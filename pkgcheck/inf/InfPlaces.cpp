#include "pkgcheck/inf/InfPlaces.h"

#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

// "A, B and C", or "A, B, C and other model sections" when `more` were left
// out; `conjunction` is "and" or "or".
std::string NamedList(std::vector<std::string> items, bool more, std::string_view conjunction) {
    if (more) items.push_back("other model sections");
    return Enumerated(items, conjunction);
}

}  // namespace

void AddPlaces(const InfContents& inf, std::uint32_t k, SectionSet* set) {
    auto at = std::lower_bound(inf.otherPlaces.begin(), inf.otherPlaces.end(),
                               std::make_pair(k, std::uint32_t{0}));
    for (; at != inf.otherPlaces.end() && at->first == k; ++at) set->Add(at->second);
}

std::string SectionsText(const InfContents& inf, const SectionSet& set) {
    std::vector<std::string> labels;
    for (const std::uint32_t s : set.named) labels.push_back(inf.otherSections[s].Label());
    return NamedList(labels, set.more, "and");
}

std::string Nt5Text(const InfContents& inf) {
    const std::vector<std::string>& names = inf.nt5Names;
    if (names.empty())
        return "while [Manufacturer] names no model section that 2000 and XP read on x86";
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < std::min(names.size(), kNamed); ++i)
        labels.push_back("[" + names[i] + "]");
    return "not in " + NamedList(labels, labels.size() < names.size(), "or") +
           ", which 2000 and XP read";
}

}  // namespace pkgcheck
