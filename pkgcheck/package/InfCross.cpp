#include "pkgcheck/package/InfCross.h"

#include <algorithm>
#include <unordered_map>

#include "pkgcheck/inf/InfPlaces.h"
#include "pkgcheck/read/HashIndex.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

constexpr std::uint32_t kNone = HashIndex::kNone;

std::string NotCoveredMessage(const InfContents& inf, std::size_t j) {
    const std::string_view id = inf.Id(j);
    std::string text = ShortVisible(id) + " (in [" + inf.SectionOf(j) +
                       "]) is covered by no list entry, so the launcher never chooses such a "
                       "device";
    if (id.size() == 4)
        text += " (a bare PCI\\ names no device)";
    else if (FindIgnoringCase(id, "CC_") != std::string_view::npos)
        text += " (class-code IDs never occur in subkey names)";
    return text;
}

// Whether `exact` is the upper-case form of `written`.
bool IsUpperOf(std::string_view exact, std::string_view written) {
    return exact.size() == written.size() &&
           std::equal(exact.begin(), exact.end(), written.begin(),
                      [](char e, char w) { return e == FoldCase(w); });
}

// The cross-check in time that grows with the list and the INF, not with
// their product: entries are found by content inside each device name, and
// device names by content inside each entry. Both slide a window of each
// length that occurs over the other side's texts, so the cost is the texts'
// bytes times the number of distinct lengths, which device names keep small.
// Device names are the IDs as written, read in upper case as they go: upper
// case changes no lead byte, so the character boundaries stay.
class CrossChecker {
public:
    // `ids` lie in `idText`: the INF's IDs for x86 NT 5.x, or its others.
    CrossChecker(const ListFile& list, const std::string& idText,
                 const std::vector<InfHardwareId>& ids, const launcher::CodePage& cp)
        : list_(list), idText_(idText), ids_(ids), cp_(cp) {
        for (std::size_t j = 0; j < ids.size(); ++j)
            longestName_ = std::max(longestName_, Name(j).size());
    }

    // Per INF ID, the first entry occurring in its name; notes which entries
    // do so for some name, and calls covers(entry, id) for each pair found,
    // the entry being the first of its content.
    template <typename Covers>
    std::vector<int> FindCoveringEntries(Covers&& covers) {
        IndexShortEntries();
        std::vector<int> covering(ids_.size(), -1);
        for (std::size_t j = 0; j < ids_.size(); ++j) {
            const std::string_view name = Name(j);
            std::uint32_t first = name.empty() ? kNone : emptyEntry_;
            for (const std::size_t length : entryLengths_)
                AnyWindow(
                    name, length, cp_,
                    [&](std::size_t start, std::uint64_t hash) {
                        const std::string_view window = name.substr(start, length);
                        const std::uint32_t entry = entries_.Find(hash, [&](std::uint32_t i) {
                            return IsUpperOf(list_.Text(i), window);
                        });
                        if (entry != kNone) {
                            covers_[entry] = true;
                            covers(entry, j);
                            first = std::min(first, entry);
                        }
                        return false;
                    },
                    FoldCase);
            if (first != kNone) covering[j] = static_cast<int>(first);
            anyName_ = anyName_ || !name.empty();
        }
        return covering;
    }

    // Whether entry `i` covers an INF ID or holds a device name whole. The
    // names are indexed for the first entry that needs them: with a short
    // list that covers the INF, a million names need no index.
    bool Matches(std::size_t i) {
        const std::string_view text = list_.Text(i);
        if (text.empty()) return anyName_;
        if (text.size() <= longestName_) {
            const std::uint32_t first =
                entries_.Find(HashOf(text), [&](std::uint32_t k) { return list_.Text(k) == text; });
            if (first != kNone && covers_[first]) return true;
        }
        if (!namesIndexed_) IndexNames();
        return ForEachHeld(text, [](std::size_t) { return true; });
    }

    // The first entry with the same content as entry `i`, when it can occur
    // in a name; else kNone.
    std::uint32_t FirstOf(std::size_t i) const {
        const std::string_view text = list_.Text(i);
        if (text.empty() || text.size() > longestName_) return kNone;
        return entries_.Find(HashOf(text), [&](std::uint32_t k) { return list_.Text(k) == text; });
    }

    // Calls held(id) for each ID whose name `text` holds whole, until it
    // returns true; says whether one did.
    template <typename Held>
    bool ForEachHeld(std::string_view text, Held&& held) {
        if (!namesIndexed_) IndexNames();
        for (const std::size_t length : nameLengths_) {
            if (length > text.size()) break;
            const bool found =
                AnyWindow(text, length, cp_, [&](std::size_t start, std::uint64_t h) {
                    const std::string_view window = text.substr(start, length);
                    const std::uint32_t j =
                        names_.Find(h, [&](std::uint32_t k) { return IsUpperOf(window, Name(k)); });
                    return j != kNone && held(j);
                });
            if (found) return true;
        }
        return false;
    }

private:
    void IndexNames() {
        namesIndexed_ = true;
        std::vector<bool> present(longestName_ + 1, false);
        for (std::size_t j = 0; j < ids_.size(); ++j) {
            const std::string_view name = Name(j);
            if (name.empty()) continue;  // a bare PCI\ names nothing to hold
            names_.Add(HashOf(name, FoldCase), static_cast<std::uint32_t>(j));
            present[name.size()] = true;
        }
        for (std::size_t length = 1; length < present.size(); ++length)
            if (present[length]) nameLengths_.push_back(length);
    }

    std::string_view Name(std::size_t j) const {
        const InfHardwareId& id = ids_[j];
        return std::string_view(idText_).substr(id.offset + 4, id.length - 4);
    }

    // Only entries no longer than the longest name can occur in one.
    void IndexShortEntries() {
        covers_.assign(list_.entries.size(), false);
        std::vector<bool> present(longestName_ + 1, false);
        for (std::size_t i = 0; i < list_.entries.size(); ++i) {
            const std::string_view text = list_.Text(i);
            if (text.size() > longestName_) continue;
            if (text.empty()) {
                emptyEntry_ = std::min(emptyEntry_, static_cast<std::uint32_t>(i));
                continue;
            }
            const std::uint64_t hash = HashOf(text);
            if (entries_.Find(hash, [&](std::uint32_t k) { return list_.Text(k) == text; }) !=
                kNone)
                continue;
            entries_.Add(hash, static_cast<std::uint32_t>(i));
            present[text.size()] = true;
        }
        for (std::size_t length = 1; length < present.size(); ++length)
            if (present[length]) entryLengths_.push_back(length);
    }

    const ListFile& list_;
    const std::string& idText_;
    const std::vector<InfHardwareId>& ids_;
    const launcher::CodePage& cp_;
    std::size_t longestName_ = 0;
    HashIndex entries_;  // first entry of each content, short ones only
    std::vector<std::size_t> entryLengths_;
    std::uint32_t emptyEntry_ = kNone;
    std::vector<bool> covers_;  // by an entry's first occurrence
    bool anyName_ = false;
    bool namesIndexed_ = false;
    HashIndex names_;
    std::vector<std::size_t> nameLengths_;
};

// Per entry that matches no ID for x86 NT 5.x, the other model sections
// whose IDs it matches, if any.
std::unordered_map<std::size_t, SectionSet> EntriesElsewhere(const ListFile& list,
                                                             const InfContents& inf,
                                                             const launcher::CodePage& cp,
                                                             const std::vector<bool>& matches) {
    std::unordered_map<std::size_t, SectionSet> found;
    if (inf.otherIds.empty()) return found;
    CrossChecker checker(list, inf.idText, inf.otherIds, cp);
    std::unordered_map<std::size_t, SectionSet> covering;  // by an entry's first occurrence
    checker.FindCoveringEntries([&](std::uint32_t entry, std::size_t k) {
        if (!matches[entry]) AddPlaces(inf, static_cast<std::uint32_t>(k), &covering[entry]);
    });
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        if (matches[i] || list.entries[i].length == 0) continue;
        SectionSet where;
        const auto first = covering.find(checker.FirstOf(i));
        if (first != covering.end()) where = first->second;
        checker.ForEachHeld(list.Text(i), [&](std::size_t k) {
            AddPlaces(inf, static_cast<std::uint32_t>(k), &where);
            return false;
        });
        if (!where.empty()) found.emplace(i, std::move(where));
    }
    return found;
}

}  // namespace

CrossCheck CrossCheckInf(const ListFile& list, const InfContents& inf, const launcher::CodePage& cp,
                         const std::string& listFile, const std::string& infFile) {
    CrossCheck result;
    CrossChecker checker(list, inf.idText, inf.ids, cp);
    result.coveringEntry = checker.FindCoveringEntries([](std::uint32_t, std::size_t) {});
    result.entryMatchesInf.reserve(list.entries.size());
    for (std::size_t i = 0; i < list.entries.size(); ++i)
        result.entryMatchesInf.push_back(checker.Matches(i));
    const auto elsewhere = EntriesElsewhere(list, inf, cp, result.entryMatchesInf);
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        if (result.entryMatchesInf[i]) continue;
        const int line = list.entries[i].line;
        const int entry = static_cast<int>(i + 1);
        const auto other = elsewhere.find(i);
        if (other != elsewhere.end())
            result.warnings.push_back(
                {"inf-other-target", listFile, line, entry,
                 ShortVisible(list.Text(i)) + " is in " + SectionsText(inf, other->second) + ", " +
                     Nt5Text(inf) +
                     ": there the launcher may hand the installer a device the INF does not "
                     "install"});
        else if (!inf.ids.empty())
            result.warnings.push_back(
                {"entry-not-in-inf", listFile, line, entry,
                 ShortVisible(list.Text(i)) + " matches no PCI hardware ID of " + infFile +
                     ": the launcher may hand the installer a device the INF does not install"});
    }
    const bool anyMatch = std::find(result.entryMatchesInf.begin(), result.entryMatchesInf.end(),
                                    true) != result.entryMatchesInf.end();
    if (!anyMatch && !list.entries.empty() && !inf.ids.empty())
        result.errors.push_back(
            {"list-installs-nothing", listFile, 0, 0,
             "none of its " + std::to_string(list.entries.size()) +
                 (list.entries.size() == 1 ? " entry" : " entries") +
                 " matches a PCI hardware ID that " + infFile +
                 " offers 2000 and XP on x86: the launcher hands the installer only devices the "
                 "INF has no driver for, so the package installs nothing",
             Severity::Error});
    for (std::size_t j = 0; j < inf.ids.size(); ++j)
        if (result.coveringEntry[j] < 0)
            result.warnings.push_back(
                {"inf-id-not-covered", infFile, inf.ids[j].line, 0, NotCoveredMessage(inf, j)});
    return result;
}
}  // namespace pkgcheck
