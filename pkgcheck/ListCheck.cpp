#include "pkgcheck/ListCheck.h"

#include <algorithm>

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

std::string CannotMatchHint(std::string_view entry) {
    if (StartsWithIgnoringCase(entry, "PCI\\")) return "; subkey names carry no PCI\\ prefix";
    if (entry.find("CC_") != std::string_view::npos)
        return "; class codes (CC_) are no part of subkey names";
    if (entry.find("REV_") != std::string_view::npos &&
        entry.find("SUBSYS_") == std::string_view::npos &&
        entry.find("DEV_") != std::string_view::npos)
        return "; in subkey names SUBSYS_ comes between DEV_ and REV_";
    return "";
}

// The '=' that starts the entry the launcher reads first from `from` on.
class EntryChecker {
public:
    EntryChecker(ListCheck& check, const std::string& file) : check_(check), file_(file) {}

    void Check(std::size_t i) {
        const ListEntry& e = check_.entries[i];
        if (e.text.find('\n') != std::string::npos) return WarnLf(i);
        if (e.text.empty())
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
        const std::string& t = check_.entries[i].text;
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
        const std::string& t = check_.entries[i].text;
        if (std::none_of(t.begin(), t.end(), [](char c) { return c >= 'a' && c <= 'z'; })) return;
        Warn(i, "lower-case",
             "lower-case letters: device names use upper-case hexadecimal digits and the match is "
             "case-sensitive, so it never matches; write " +
                 Visible(UpperAscii(TrimBlanks(t))));
    }

    void CheckDuplicate(std::size_t i) {
        const auto& entries = check_.entries;
        for (std::size_t j = 0; j < i; ++j) {
            if (entries[j].text != entries[i].text) continue;
            return Warn(i, "duplicate",
                        "same bytes as entry " + std::to_string(j + 1) + " on line " +
                            std::to_string(entries[j].line));
        }
    }

    // Judged as if blanks and letter case were right, since those have their
    // own warnings.
    void CheckShape(std::size_t i) {
        const std::string wanted = UpperAscii(TrimBlanks(check_.entries[i].text));
        if (wanted.empty()) return;
        const EntryShape shape = JudgeShape(wanted);
        if (!shape.canMatch)
            Warn(i, "cannot-match",
                 Visible(wanted) +
                     " cannot occur in a PCI subkey name (VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh)"
                     ", so it matches no device" +
                     CannotMatchHint(wanted));
        else if (!shape.partial.empty())
            Warn(i, "partial-token", Visible(wanted) + " " + shape.partial);
    }

    ListCheck& check_;
    const std::string& file_;
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

std::vector<ListEntry> LocateEntries(std::string_view content, const launcher::CodePage& cp,
                                     const LineIndex& lines) {
    std::vector<ListEntry> entries;
    launcher::ForEachSupportedId(content, cp, [&](std::size_t offset, std::size_t length) {
        const std::size_t equals = offset - 1;
        const int last = lines.LineOf(length == 0 ? equals : offset + length - 1);
        entries.push_back(
            {std::string(content.substr(offset, length)), offset, lines.LineOf(equals), last});
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

ListCheck CheckList(std::string_view bytes, const launcher::CodePage& cp, const std::string& file) {
    ListCheck check;
    check.size = bytes.size();
    check.nulOffset = bytes.find('\0');
    const LineIndex lines(bytes);
    check.entries = LocateEntries(bytes.substr(0, check.nulOffset), cp, lines);

    EntryChecker checker(check, file);
    for (std::size_t i = 0; i < check.entries.size(); ++i) checker.Check(i);
    if (check.nulOffset != std::string_view::npos)
        check.warnings.push_back({"nul-byte", file, lines.LineOf(check.nulOffset), 0,
                                  DescribeNul(bytes, check.nulOffset)});
    if (check.entries.empty())
        check.warnings.push_back({"no-entries", file, 0, 0,
                                  "no entries (no '=' the launcher reads): it shows the \"Worry\" "
                                  "box on every machine"});
    return check;
}

}  // namespace pkgcheck
