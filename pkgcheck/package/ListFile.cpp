#include "pkgcheck/package/ListFile.h"

#include <algorithm>

#include "pkgcheck/read/HashIndex.h"
#include "probes/SupportedIds.h"

namespace pkgcheck {
namespace {

// Every subkey name under Enum\PCI has this form; '#' is an upper-case
// hexadecimal digit.
constexpr std::string_view kNameTemplate = "VEN_####&DEV_####&SUBSYS_########&REV_##";

bool IsUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsDigitSlot(std::size_t i) { return i < kNameTemplate.size() && kNameTemplate[i] == '#'; }

bool FitsAt(std::string_view entry, std::size_t at) {
    for (std::size_t i = 0; i < entry.size(); ++i) {
        const char slot = kNameTemplate[at + i];
        if (slot == '#' ? !IsUpperHex(entry[i]) : entry[i] != slot) return false;
    }
    return true;
}

// The hexadecimal value of the name template around the digit slot `i`.
struct Value {
    std::size_t begin;
    std::size_t end;
    std::string token;  // e.g. "DEV_"
};

Value ValueAround(std::size_t i) {
    std::size_t begin = i;
    while (begin > 0 && IsDigitSlot(begin - 1)) --begin;
    std::size_t end = i;
    while (IsDigitSlot(end)) ++end;
    const std::size_t amp = kNameTemplate.rfind('&', begin);
    const std::size_t tokenBegin = amp == std::string_view::npos ? 0 : amp + 1;
    return {begin, end, std::string(kNameTemplate.substr(tokenBegin, begin - tokenBegin))};
}

std::string DescribeCutEnd(std::string_view entry, std::size_t at, const Value& v) {
    const std::size_t end = at + entry.size();
    const std::string head = v.token + std::string(entry.substr(v.begin - at));
    const std::size_t missing = v.end - end;
    return "stops after " + std::to_string(end - v.begin) + " of the " +
           std::to_string(v.end - v.begin) + " digits of " + v.token + ": it also matches " + head +
           std::string(missing, '0') + " to " + head + std::string(missing, 'F');
}

// How `entry`, placed at `at` in the template, reaches into a value it does
// not hold whole; empty when it starts and ends at value boundaries.
std::string DescribePartial(std::string_view entry, std::size_t at) {
    const std::size_t end = at + entry.size();
    const bool startsInside = at > 0 && IsDigitSlot(at) && IsDigitSlot(at - 1);
    const bool endsInside = IsDigitSlot(end - 1) && IsDigitSlot(end);
    if (!startsInside && !endsInside) return "";
    const Value first = ValueAround(at);
    const Value last = ValueAround(end - 1);
    if (startsInside && endsInside && first.begin == last.begin)
        return "can lie inside a " + first.token + " value: it also matches every " + first.token +
               " value holding " + std::string(entry);
    std::string text;
    if (startsInside)
        text = "starts inside a " + first.token + " value: it also matches every " + first.token +
               " value ending in " + std::string(entry.substr(0, first.end - at));
    if (endsInside) text += (text.empty() ? "" : ", and ") + DescribeCutEnd(entry, at, last);
    return text;
}

// Letter case aside, as the entry is judged as if it were upper case.
std::string CannotMatchHint(std::string_view entry) {
    const auto holds = [entry](std::string_view part) {
        return FindIgnoringCase(entry, part) != std::string_view::npos;
    };
    if (StartsWithIgnoringCase(entry, "PCI\\")) return "; subkey names carry no PCI\\ prefix";
    if (holds("CC_")) return "; class codes (CC_) are no part of subkey names";
    if (holds("REV_") && !holds("SUBSYS_") && holds("DEV_"))
        return "; in subkey names SUBSYS_ comes between DEV_ and REV_";
    return "";
}

// The '=' that starts the entry the launcher reads first from `from` on.
class EntryChecker {
public:
    EntryChecker(ListFile& check, const std::string& file)
        : check_(check), file_(file), seen_(check.entries.size()) {}

    void Check(std::size_t i) {
        const std::string_view text = check_.Text(i);
        if (text.find('\n') != std::string_view::npos) return WarnLf(i);
        if (text.empty())
            return Warn(i, "empty-entry",
                        "empty entry: it occurs in every name, so the launcher takes the first "
                        "subkey it reads, whatever the device");
        CheckBlanks(i);
        CheckCase(i);
        CheckDuplicate(i);
        CheckShape(i);
    }

private:
    void Warn(std::size_t i, const char* kind, std::string message) {
        const ListEntry& e = check_.entries[i];
        check_.warnings.push_back(
            {kind, file_, e.line, static_cast<int>(i + 1), std::move(message)});
    }

    void WarnLf(std::size_t i) {
        const ListEntry& e = check_.entries[i];
        const std::string what =
            e.lastLine > e.line
                ? "lines " + std::to_string(e.line) + "-" + std::to_string(e.lastLine) +
                      " run together into one entry: they end in LF alone, and only CR ends an "
                      "entry"
                : "ends in an LF byte that belongs to the entry (LF line end; only CR ends an "
                  "entry)";
        Warn(i, "lf-line-ends", what + "; no device name holds an LF, so it never matches");
    }

    void CheckBlanks(std::size_t i) {
        const std::string_view t = check_.Text(i);
        const bool leading = IsBlank(t.front());
        const bool trailing = IsBlank(t.back());
        if (!leading && !trailing) return;
        const std::string where = leading && trailing ? "leading and trailing blanks"
                                  : leading           ? "leading blank"
                                                      : "trailing blank";
        Warn(i, "blanks",
             where +
                 ": blanks are part of the entry and no device name has one, so it never "
                 "matches");
    }

    void CheckCase(std::size_t i) {
        const std::string_view t = check_.Text(i);
        if (std::none_of(t.begin(), t.end(), [](char c) { return c >= 'a' && c <= 'z'; })) return;
        Warn(i, "lower-case",
             "lower-case letters: device names use upper-case hexadecimal digits and the match is "
             "case-sensitive, so it never matches; write " +
                 ShortVisible(TrimBlanks(t), true));
    }

    // Every entry that gets here is looked up once, so a list of a million
    // entries takes no longer than its bytes take to hash.
    void CheckDuplicate(std::size_t i) {
        const std::string_view text = check_.Text(i);
        const std::uint64_t hash = HashOf(text);
        const std::uint32_t earlier =
            seen_.Find(hash, [&](std::uint32_t j) { return check_.Text(j) == text; });
        if (earlier == HashIndex::kNone) return seen_.Add(hash, static_cast<std::uint32_t>(i));
        Warn(i, "duplicate",
             "same bytes as entry " + std::to_string(earlier + 1) + " on line " +
                 std::to_string(check_.entries[earlier].line));
    }

    // Judged as if blanks and letter case were right, since those have their
    // own warnings.
    void CheckShape(std::size_t i) {
        const std::string_view trimmed = TrimBlanks(check_.Text(i));
        if (trimmed.empty()) return;
        // Longer than any subkey name, it cannot match, and is not copied.
        const EntryShape shape =
            trimmed.size() <= kNameTemplate.size() ? JudgeShape(UpperAscii(trimmed)) : EntryShape{};
        if (!shape.canMatch)
            Warn(i, "cannot-match",
                 ShortVisible(trimmed, true) +
                     " cannot occur in a PCI subkey name (VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh)"
                     ", so it matches no device" +
                     CannotMatchHint(trimmed));
        else if (!shape.partial.empty())
            Warn(i, "partial-token", ShortVisible(trimmed, true) + " " + shape.partial);
    }

    ListFile& check_;
    const std::string& file_;
    HashIndex seen_;  // the first entry of each content checked so far
};

std::string DescribeNul(std::string_view bytes, std::size_t nul) {
    std::string text = "NUL byte at offset " + std::to_string(nul) +
                       ": the launcher reads nothing after it, so the last " +
                       std::to_string(bytes.size() - nul) + " bytes are ignored";
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")
        text += "; the file is UTF-16 (Unicode): save it as ANSI";
    return text;
}

}  // namespace

std::vector<ListEntry> LocateEntries(std::string_view content, const launcher::CodePage& cp) {
    std::vector<ListEntry> entries;
    // Counted first, so the table never holds two copies while it grows.
    entries.reserve(launcher::ForEachSupportedId(content, cp, [](std::size_t, std::size_t) {}));
    LineCounter lines(content);
    launcher::ForEachSupportedId(content, cp, [&](std::size_t offset, std::size_t length) {
        const int line = lines.LineOf(offset - 1);  // the '='
        const int last = length == 0 ? line : lines.LineOf(offset + length - 1);
        entries.push_back({offset, length, line, last});
    });
    return entries;
}

EntryShape JudgeShape(std::string_view entry) {
    EntryShape shape;
    if (entry.empty()) return {true, ""};
    for (std::size_t at = 0; at + entry.size() <= kNameTemplate.size(); ++at) {
        if (!FitsAt(entry, at)) continue;
        shape.canMatch = true;
        if (shape.partial.empty()) shape.partial = DescribePartial(entry, at);
    }
    return shape;
}

ListFile ReadList(std::string bytes, const launcher::CodePage& cp, const std::string& file) {
    ListFile check;
    check.bytes = std::move(bytes);
    const std::string_view all = check.bytes;
    check.nulOffset = all.find('\0');
    check.entries = LocateEntries(all.substr(0, check.nulOffset), cp);

    EntryChecker checker(check, file);
    for (std::size_t i = 0; i < check.entries.size(); ++i) checker.Check(i);
    if (check.nulOffset != std::string_view::npos)
        check.warnings.push_back({"nul-byte", file, LineCounter(all).LineOf(check.nulOffset), 0,
                                  DescribeNul(all, check.nulOffset)});
    if (check.entries.empty())
        check.warnings.push_back({"no-entries", file, 0, 0,
                                  "no entries (no '=' the launcher reads): it shows the \"Worry\" "
                                  "box on every machine"});
    return check;
}

}  // namespace pkgcheck
