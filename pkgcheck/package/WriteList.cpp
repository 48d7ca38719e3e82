#include "pkgcheck/package/WriteList.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "pkgcheck/package/ListFile.h"
#include "pkgcheck/read/HashIndex.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

constexpr std::uint32_t kNone = HashIndex::kNone;

// A comment line the launcher takes for no entry: it reads one after an '='
// up to the next CR, so neither may stand in it. Bytes above 0x7F go too,
// since a double-byte code page may read an '=' into them.
std::string CommentLine(std::string_view text) {
    std::string line = "; ";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '=' || byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "<%02X>", byte);
            line += escaped;
        } else {
            line += c;
        }
    }
    return line + "\r\n";
}

// Why the substring match cannot stand for an ID; empty when it can.
std::string WhyNoEntry(std::string_view name) {
    if (name.empty()) return "a bare PCI\\ names no device";
    const EntryShape shape = JudgeShape(name);
    const auto holds = [name](std::string_view part) {
        return name.find(part) != std::string_view::npos;
    };
    if (!shape.canMatch && holds("CC_")) return "a class code, which no subkey name holds";
    if (!shape.canMatch && holds("REV_") && !holds("SUBSYS_"))
        return "REV_ without SUBSYS_ occurs in no subkey name (SUBSYS_ stands between DEV_ and "
               "REV_)";
    if (!shape.canMatch)
        return "no subkey name VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh can hold it";
    if (!shape.partial.empty()) return "as an entry it " + shape.partial;
    return "";
}

// Why no list is written: no ID, or none that can be an entry.
Finding NoListError(const InfContents& inf, const WrittenList& list, const std::string& infFile) {
    std::string why;
    for (std::size_t i = 0; i < list.leftOut.size(); ++i)
        why +=
            (i == 0 ? " (" : "; ") + ShortVisible(inf.Id(list.leftOut[i])) + ": " + list.reasons[i];
    return {"no-list",
            infFile,
            0,
            0,
            why.empty() ? "no list written: the INF offers no PCI hardware ID to 2000 and XP on x86"
                        : "no list written: no PCI hardware ID the INF offers to 2000 and XP on "
                          "x86 can be an entry" +
                              why + ")",
            Severity::Error};
}

}  // namespace

WrittenList WriteListFromInf(const InfContents& inf, const std::string& infFile) {
    const std::size_t count = inf.ids.size();
    std::vector<std::string> names(count);
    std::vector<std::string> reasons(count);
    for (std::size_t j = 0; j < count; ++j) {
        names[j] = UpperAscii(inf.Id(j).substr(4));
        reasons[j] = WhyNoEntry(names[j]);
    }

    // Shortest first, so that an entry is kept only when no kept one occurs
    // in it: the launcher would take the shorter one there anyway.
    std::vector<std::size_t> order(count);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return names[a].size() < names[b].size();
    });
    HashIndex kept;
    std::vector<std::size_t> keptLengths;
    std::vector<std::uint32_t> coveredBy(count, kNone);
    const launcher::CodePage ascii = launcher::CodePage::SingleByte();
    for (const std::size_t j : order) {
        if (!reasons[j].empty()) continue;
        const std::string_view name = names[j];
        for (const std::size_t length : keptLengths) {
            AnyWindow(name, length, ascii, [&](std::size_t start, std::uint64_t hash) {
                const std::string_view window = name.substr(start, length);
                coveredBy[j] = kept.Find(hash, [&](std::uint32_t k) { return names[k] == window; });
                return coveredBy[j] != kNone;
            });
            if (coveredBy[j] != kNone) break;
        }
        if (coveredBy[j] != kNone) continue;
        kept.Add(HashOf(name), static_cast<std::uint32_t>(j));
        if (std::find(keptLengths.begin(), keptLengths.end(), name.size()) == keptLengths.end())
            keptLengths.push_back(name.size());
    }

    // Entries numbered in the INF's order.
    std::vector<std::size_t> number(count, 0);
    WrittenList list;
    for (std::size_t j = 0; j < count; ++j)
        if (reasons[j].empty() && coveredBy[j] == kNone) number[j] = ++list.entries;

    std::string sections;
    for (const std::string& s : inf.sections) sections += " [" + s + "]";
    list.text =
        "[SupportedIDs]\r\n" + CommentLine("written by pkgcheck --write-list: the PCI IDs of " +
                                           infFile + " for 2000 and XP on x86, from" + sections);
    for (std::size_t j = 0; j < count; ++j) {
        if (number[j] > 0) {
            list.text += "id" + std::to_string(number[j]) + "=" + names[j] + "\r\n";
            continue;
        }
        list.leftOut.push_back(j);
        list.reasons.push_back(!reasons[j].empty()
                                   ? reasons[j]
                                   : "covered by id" + std::to_string(number[coveredBy[j]]) + ", " +
                                         names[coveredBy[j]]);
        list.text +=
            CommentLine(ShortVisible(inf.Id(j)) + " (line " + std::to_string(inf.ids[j].line) +
                        ") is no entry: " + list.reasons.back());
    }
    if (list.entries == 0) list.errors.push_back(NoListError(inf, list, infFile));
    return list;
}

}  // namespace pkgcheck
