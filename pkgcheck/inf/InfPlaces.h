#pragma once
// Where an INF's IDs stand, in words: the model sections that a warning of
// the models or of the cross-check names.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pkgcheck/inf/Inf.h"

namespace pkgcheck {

// A warning names at most this many model sections, or IDs, and counts the
// rest: an INF may have hundreds.
constexpr std::size_t kNamed = 6;

// The other model sections a warning names.
struct SectionSet {
    std::vector<std::uint32_t> named;  // indexes into InfContents::otherSections
    bool more = false;

    void Add(std::uint32_t section) {
        if (std::find(named.begin(), named.end(), section) != named.end()) return;
        if (named.size() < kNamed)
            named.push_back(section);
        else
            more = true;
    }
    bool empty() const { return named.empty(); }
};

// The other model sections other ID `k` stands in.
void AddPlaces(const InfContents& inf, std::uint32_t k, SectionSet* set);

// "[A] (x64), [B] (x86, NT 6.0 and later) and [C] (...)"
std::string SectionsText(const InfContents& inf, const SectionSet& set);

// Where 2000 and XP look instead.
std::string Nt5Text(const InfContents& inf);

}  // namespace pkgcheck
