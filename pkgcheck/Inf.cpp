#include "pkgcheck/Inf.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <limits>
#include <unordered_map>

#include "pkgcheck/HashIndex.h"
#include "pkgcheck/Text.h"

namespace pkgcheck {
namespace {

constexpr std::uint32_t kNone = HashIndex::kNone;

std::string_view WithoutComment(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ';' && !quoted) return line.substr(0, i);
    }
    return line;
}

std::size_t FindUnquoted(std::string_view text, char c) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == c && !quoted) return i;
    }
    return std::string_view::npos;
}

// Calls visit(index, field) for the fields of `text` split at `separator`
// outside double quotes, as written (see Unquoted).
template <typename Visit>
void ForEachField(std::string_view text, char separator, Visit&& visit) {
    bool quoted = false;
    std::size_t start = 0;
    std::size_t index = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || (text[i] == separator && !quoted)) {
            visit(index++, text.substr(start, i - start));
            start = i + 1;
        } else if (text[i] == '"') {
            quoted = !quoted;
        }
    }
}

// A field's value: blanks around it dropped, double quotes taken away (what
// they enclose is kept as it is, blanks included) and "" inside quotes
// standing for one quote. Most fields are unquoted or quoted whole and are
// a view of themselves; the others are built in `scratch`.
std::string_view Unquoted(std::string_view field, std::string* scratch) {
    field = TrimBlanks(field);
    const std::size_t quote = field.find('"');
    if (quote == std::string_view::npos) return field;
    if (quote == 0 && field.size() >= 2 && field.find('"', 1) == field.size() - 1)
        return field.substr(1, field.size() - 2);
    scratch->clear();
    bool quoted = false;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '"' && quoted && i + 1 < field.size() && field[i + 1] == '"') {
            *scratch += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else {
            *scratch += c;
        }
    }
    return *scratch;
}

// A line as INF readers take it: comment dropped, blanks trimmed, and a
// final backslash joining the next physical line. Lines end at LF.
struct InfLine {
    std::string_view text;  // valid until the next line is read
    int line;               // of its first physical line
    std::size_t begin;      // offsets of its physical lines, line ends included
    std::size_t end;
};

class LineReader {
public:
    LineReader(std::string_view text, int firstLine) : text_(text), line_(firstLine) {}

    bool Next(InfLine* out) {
        if (at_ >= text_.size()) return false;
        out->begin = at_;
        out->line = line_;
        std::string_view line = TrimBlanks(WithoutComment(Physical()));
        if (!line.empty() && line.back() == '\\' && at_ < text_.size()) {
            joined_.assign(line.substr(0, line.size() - 1));
            joined_ += TrimBlanks(WithoutComment(Physical()));
            while (!joined_.empty() && joined_.back() == '\\' && at_ < text_.size()) {
                joined_.pop_back();
                joined_ += TrimBlanks(WithoutComment(Physical()));
            }
            line = joined_;
        }
        out->text = line;
        out->end = at_;
        return true;
    }

    int NextLineNumber() const { return line_; }

private:
    std::string_view Physical() {
        std::size_t end = text_.find('\n', at_);
        const std::size_t next = end == std::string_view::npos ? text_.size() : end + 1;
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(at_, end - at_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at_ = next;
        ++line_;
        return line;
    }

    std::string_view text_;
    std::size_t at_ = 0;
    int line_;
    std::string joined_;
};

// The sections of an INF and its [Strings]. One pass notes where each
// section's lines lie; a section is read again only when it is needed.
class InfFile {
public:
    explicit InfFile(std::string_view text) : text_(text) {
        LineReader reader(text, 1);
        InfLine l;
        std::uint32_t open = kNone;  // the chunk that runs until the next header
        while (reader.Next(&l)) {
            if (l.text.empty() || l.text.front() != '[') continue;
            if (open != kNone) chunks_[open].end = l.begin;
            const std::size_t close = l.text.find(']');
            const std::string_view name = Keep(TrimBlanks(l.text.substr(1, close - 1)));
            open = static_cast<std::uint32_t>(chunks_.size());
            chunks_.push_back({l.end, text.size(), reader.NextLineNumber(), kNone});
            Section& section = sections_[SectionNamed(name)];
            if (section.last != kNone) chunks_[section.last].next = open;
            if (section.first == kNone) section.first = open;
            section.last = open;
        }
        CollectStrings();
    }

    std::uint32_t Find(std::string_view name) const {
        return sectionIndex_.Find(HashOf(name, FoldCase), [&](std::uint32_t s) {
            return EqualsIgnoringCase(sections_[s].name, name);
        });
    }
    std::size_t SectionCount() const { return sections_.size(); }
    std::string_view NameOf(std::uint32_t section) const { return sections_[section].name; }

    // The section's non-empty lines; a section named twice is one section.
    template <typename Visit>
    void ForEachLine(std::uint32_t section, Visit&& visit) const {
        for (std::uint32_t c = sections_[section].first; c != kNone; c = chunks_[c].next) {
            const Chunk& chunk = chunks_[c];
            LineReader reader(text_.substr(chunk.begin, chunk.end - chunk.begin), chunk.firstLine);
            InfLine l;
            while (reader.Next(&l))
                if (!l.text.empty()) visit(l);
        }
    }

    // %key% replaced from the [Strings] sections; %% is one percent sign. A
    // text without a percent sign is its own result; others are built in
    // `scratch`.
    std::string_view Substitute(std::string_view text, std::string* scratch) const {
        if (text.find('%') == std::string_view::npos) return text;
        scratch->clear();
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t close =
                text[i] == '%' ? text.find('%', i + 1) : std::string_view::npos;
            if (close == std::string_view::npos) {
                *scratch += text[i++];
                continue;
            }
            const std::string_view key = text.substr(i + 1, close - i - 1);
            const std::uint32_t value = key.empty() ? kNone : FindString(key);
            if (key.empty())
                *scratch += '%';
            else if (value != kNone)
                *scratch += strings_[value].value;
            else
                *scratch += text.substr(i, close - i + 1);
            i = close + 1;
        }
        return *scratch;
    }

private:
    struct Chunk {
        std::size_t begin;
        std::size_t end;
        int firstLine;
        std::uint32_t next;  // the section's next chunk
    };
    struct Section {
        std::string_view name;  // as first spelled
        std::uint32_t first;
        std::uint32_t last;
    };
    struct String {
        std::string_view key;
        std::string_view value;
    };

    // A view that outlives the line it came from: the file's own bytes stay,
    // anything built from them is copied.
    std::string_view Keep(std::string_view view) {
        const std::less<const char*> before;
        const bool inText = !before(view.data(), text_.data()) &&
                            !before(text_.data() + text_.size(), view.data() + view.size());
        if (inText) return view;
        return owned_.emplace_back(view);
    }

    std::uint32_t SectionNamed(std::string_view name) {
        const std::uint32_t found = Find(name);
        if (found != kNone) return found;
        const auto added = static_cast<std::uint32_t>(sections_.size());
        sections_.push_back({name, kNone, kNone});
        sectionIndex_.Add(HashOf(name, FoldCase), added);
        return added;
    }

    std::uint32_t FindString(std::string_view key) const {
        return stringIndex_.Find(HashOf(key, FoldCase), [&](std::uint32_t s) {
            return EqualsIgnoringCase(strings_[s].key, key);
        });
    }

    // The undecorated [Strings] wins over localized ones; among those, the
    // first definition stands.
    void CollectStrings() {
        std::string scratch;
        for (std::uint32_t s = 0; s < sections_.size(); ++s) {
            const std::string_view name = sections_[s].name;
            const bool plain = EqualsIgnoringCase(name, "Strings");
            if (!plain && !StartsWithIgnoringCase(name, "Strings.")) continue;
            ForEachLine(s, [&](const InfLine& l) {
                const std::size_t eq = FindUnquoted(l.text, '=');
                if (eq == std::string_view::npos) return;
                const std::string_view key = TrimBlanks(l.text.substr(0, eq));
                const std::string_view value = Unquoted(l.text.substr(eq + 1), &scratch);
                const std::uint32_t known = FindString(key);
                if (known == kNone) {
                    strings_.push_back({Keep(key), Keep(value)});
                    stringIndex_.Add(HashOf(key, FoldCase),
                                     static_cast<std::uint32_t>(strings_.size() - 1));
                } else if (plain) {
                    strings_[known].value = Keep(value);
                }
            });
        }
    }

    std::string_view text_;
    std::vector<Section> sections_;
    std::vector<Chunk> chunks_;
    HashIndex sectionIndex_;
    std::vector<String> strings_;
    HashIndex stringIndex_;
    std::deque<std::string> owned_;
};

// A warning names at most this many model sections, or IDs, and counts the
// rest: an INF may have hundreds.
constexpr std::size_t kNamed = 6;

// The other model sections a warning names.
struct SectionSet {
    std::vector<std::uint32_t> named;  // indexes into InfCheck::otherSections
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
void AddPlaces(const InfCheck& inf, std::uint32_t k, SectionSet* set) {
    auto at = std::lower_bound(inf.otherPlaces.begin(), inf.otherPlaces.end(),
                               std::make_pair(k, std::uint32_t{0}));
    for (; at != inf.otherPlaces.end() && at->first == k; ++at) set->Add(at->second);
}

// "A, B and C", or "A, B, C and other model sections" when `more` were left
// out; `conjunction` is "and" or "or".
std::string NamedList(const std::vector<std::string>& items, bool more,
                      const std::string& conjunction) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += i + 1 == items.size() && !more ? " " + conjunction + " " : ", ";
        text += items[i];
    }
    if (more) text += " " + conjunction + " other model sections";
    return text;
}

// "[A] (x64), [B] (x86, NT 6.0 and later) and [C] (...)"
std::string SectionsText(const InfCheck& inf, const SectionSet& set) {
    std::vector<std::string> labels;
    for (const std::uint32_t s : set.named) labels.push_back(inf.otherSections[s].Label());
    return NamedList(labels, set.more, "and");
}

// Where 2000 and XP look instead.
std::string Nt5Text(const InfCheck& inf) {
    const std::vector<std::string>& names = inf.nt5Names;
    if (names.empty())
        return "while [Manufacturer] names no model section that 2000 and XP read on x86";
    std::vector<std::string> labels;
    for (std::size_t i = 0; i < std::min(names.size(), kNamed); ++i)
        labels.push_back("[" + names[i] + "]");
    return "not in " + NamedList(labels, labels.size() < names.size(), "or") +
           ", which 2000 and XP read";
}

// The less specific hardware IDs that also name the device of `id`, as
// Windows derives them: PCI\VEN&DEV&SUBSYS&REV also goes by
// PCI\VEN&DEV&SUBSYS, PCI\VEN&DEV&REV and PCI\VEN&DEV. Upper case.
std::vector<std::string> IdAndWiderForms(std::string_view id) {
    const std::string upper = UpperAscii(id);
    const auto without = [](std::string text, std::string_view token) {
        const std::size_t at = text.find(token);
        if (at == std::string::npos) return std::string();
        const std::size_t end = text.find('&', at + 1);
        return text.erase(at, end == std::string::npos ? std::string::npos : end - at);
    };
    std::vector<std::string> forms = {upper};
    for (const std::string& narrower : {upper, without(upper, "&REV_")}) {
        if (narrower.empty()) continue;
        for (const std::string& wider : {without(narrower, "&REV_"), without(narrower, "&SUBSYS_")})
            if (!wider.empty() && std::find(forms.begin(), forms.end(), wider) == forms.end())
                forms.push_back(wider);
    }
    return forms;
}

class ModelCollector {
public:
    ModelCollector(const InfFile& inf, InfCheck& check, const std::string& file)
        : inf_(inf),
          check_(check),
          file_(file),
          read_(inf.SectionCount(), false),
          other_(inf.SectionCount(), kNone) {}

    void Collect() {
        const std::uint32_t manufacturer = inf_.Find("Manufacturer");
        if (manufacturer == kNone) {
            Warn("inf-no-manufacturer", 0, "no [Manufacturer] section, so no models");
            return;
        }
        inf_.ForEachLine(manufacturer, [this](const InfLine& l) { CollectManufacturer(l); });
        std::vector<std::pair<std::uint32_t, std::uint32_t>>& places = check_.otherPlaces;
        std::sort(places.begin(), places.end());
        places.erase(std::unique(places.begin(), places.end()), places.end());
        if (check_.ids.empty()) return WarnNoIds();
        WarnOnlyElsewhere();
        WarnX64();
    }

private:
    void Warn(const char* kind, int line, std::string message) {
        check_.warnings.push_back({kind, file_, line, 0, std::move(message)});
    }

    void CollectManufacturer(const InfLine& l) {
        const std::size_t eq = FindUnquoted(l.text, '=');
        if (eq == std::string_view::npos) {
            // A lone identifier names its models section itself.
            std::string_view name = l.text;
            if (name.size() > 2 && name.front() == '%' && name.back() == '%')
                name = name.substr(1, name.size() - 2);
            NoteNt5(std::string(name));
            return ReadModels(std::string(name), l.line, true);
        }
        std::vector<std::string> fields;
        ForEachField(l.text.substr(eq + 1), ',', [&](std::size_t, std::string_view field) {
            fields.emplace_back(inf_.Substitute(Unquoted(field, &scratch_), &expanded_));
        });
        const std::string& base = fields.front();
        NoteNt5(base);
        ReadModels(base, l.line, fields.size() == 1);
        bool unstamped = false;
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (!unstamped && FindIgnoringCase(fields[i], "$ARCH$") != std::string::npos) {
                unstamped = true;
                Warn("inf-unstamped", l.line,
                     "[Manufacturer] decoration " + fields[i] +
                         " still holds $ARCH$: the file is a template that was not stamped for "
                         "an architecture (stampinf puts x86 in its place), so the decoration "
                         "serves no platform");
            }
            const std::string name = base + "." + fields[i];
            if (DecorationAppliesToX86Nt5(fields[i])) {
                NoteNt5(name);
                ReadModels(name, l.line, true);
            } else {
                ReadOtherModels(name, fields[i]);
            }
        }
    }

    void NoteNt5(const std::string& name) {
        const std::uint64_t hash = HashOf(name, FoldCase);
        const auto same = [&](std::uint32_t i) {
            return EqualsIgnoringCase(check_.nt5Names[i], name);
        };
        if (nt5Known_.Find(hash, same) != kNone) return;
        nt5Known_.Add(hash, static_cast<std::uint32_t>(check_.nt5Names.size()));
        check_.nt5Names.push_back(name);
    }

    void ReadModels(const std::string& name, int manufacturerLine, bool required) {
        const std::uint32_t models = inf_.Find(name);
        if (models == kNone) {
            if (required)
                Warn("inf-missing-section", manufacturerLine,
                     "[Manufacturer] names model section [" + name + "], which the file lacks");
            return;
        }
        if (read_[models]) return;
        read_[models] = true;
        check_.sections.emplace_back(inf_.NameOf(models));
        const auto section = static_cast<std::uint32_t>(check_.sections.size() - 1);
        inf_.ForEachLine(models, [&](const InfLine& l) { ReadModel(l, section, true); });
    }

    // A section for another platform: absent, it is no mistake for 2000 and
    // XP, so it goes unmentioned.
    void ReadOtherModels(const std::string& name, std::string_view decoration) {
        const std::uint32_t models = inf_.Find(name);
        if (models == kNone || other_[models] != kNone) return;
        const auto section = static_cast<std::uint32_t>(check_.otherSections.size());
        other_[models] = section;
        check_.otherSections.push_back({std::string(inf_.NameOf(models)),
                                        DescribeDecoration(decoration),
                                        DecorationAppliesToX64Nt52(decoration)});
        inf_.ForEachLine(models, [&](const InfLine& l) { ReadModel(l, section, false); });
    }

    // desc = install-section, hardware-id[, compatible-id...]
    void ReadModel(const InfLine& model, std::uint32_t section, bool x86Nt5) {
        const std::size_t eq = FindUnquoted(model.text, '=');
        if (eq == std::string_view::npos) return;
        ForEachField(model.text.substr(eq + 1), ',', [&](std::size_t i, std::string_view field) {
            if (i == 0) return;
            const std::string_view id = inf_.Substitute(Unquoted(field, &scratch_), &expanded_);
            if (!StartsWithIgnoringCase(id, "PCI\\")) return;
            if (x86Nt5)
                AddId(id, section, model.line);
            else
                AddOtherId(id, section, model.line);
        });
    }

    std::uint32_t Known(const HashIndex& index, const std::vector<InfHardwareId>& ids,
                        std::string_view id) const {
        return index.Find(HashOf(id, FoldCase), [&](std::uint32_t j) {
            return EqualsIgnoringCase(
                std::string_view(check_.idText).substr(ids[j].offset, ids[j].length), id);
        });
    }

    // Adds `id` to `ids` unless it is there; its number either way, or kNone
    // when the text would outgrow 32-bit offsets.
    std::uint32_t Add(HashIndex& index, std::vector<InfHardwareId>& ids, std::string_view id,
                      std::uint32_t section, int line) {
        const std::uint32_t known = Known(index, ids, id);
        if (known != kNone) return known;
        if (check_.idText.size() + id.size() > std::numeric_limits<std::uint32_t>::max())
            return kNone;
        const auto number = static_cast<std::uint32_t>(ids.size());
        ids.push_back({static_cast<std::uint32_t>(check_.idText.size()),
                       static_cast<std::uint32_t>(id.size()), section, line});
        check_.idText += id;
        index.Add(HashOf(id, FoldCase), number);
        return number;
    }

    void AddId(std::string_view id, std::uint32_t section, int line) {
        Add(known_, check_.ids, id, section, line);
    }

    void AddOtherId(std::string_view id, std::uint32_t section, int line) {
        const std::uint32_t k = Add(otherKnown_, check_.otherIds, id, section, line);
        if (k != kNone) check_.otherPlaces.emplace_back(k, section);
    }

    void WarnNoIds() {
        std::string text = "no PCI hardware IDs in the model sections for x86, NT 5.x";
        if (!check_.otherIds.empty()) {
            std::vector<bool> holds(check_.otherSections.size(), false);
            for (const auto& place : check_.otherPlaces) holds[place.second] = true;
            SectionSet all;
            for (std::uint32_t s = 0; s < holds.size(); ++s)
                if (holds[s]) all.Add(s);
            const std::size_t n = check_.otherIds.size();
            text += "; its " + std::to_string(n) +
                    (n == 1 ? " PCI ID is in " : " PCI IDs are in ") + SectionsText(check_, all) +
                    ", " + Nt5Text(check_);
        }
        Warn("inf-no-pci-ids", 0, std::move(text));
    }

    // Once for each ID that 2000 and XP on x86 never see, however many
    // sections hold it.
    void WarnOnlyElsewhere() {
        for (std::uint32_t k = 0; k < check_.otherIds.size(); ++k) {
            const std::string_view id = check_.OtherId(k);
            if (Known(known_, check_.ids, id) != kNone) continue;
            SectionSet where;
            AddPlaces(check_, k, &where);
            Warn("inf-other-target", check_.otherIds[k].line,
                 ShortVisible(id) + " is in " + SectionsText(check_, where) + ", " +
                     Nt5Text(check_));
        }
    }

    // The launcher goes on under NT 5.2 on x64 too, under WOW64, and hands
    // the installer this INF there.
    void WarnX64() {
        std::vector<bool> onX64(check_.otherIds.size(), false);
        for (const auto& place : check_.otherPlaces)
            if (check_.otherSections[place.second].x64Nt52) onX64[place.first] = true;
        SectionSet x64;
        SectionSet laterX64;
        for (std::uint32_t s = 0; s < check_.otherSections.size(); ++s) {
            const InfOtherSection& section = check_.otherSections[s];
            if (section.x64Nt52)
                x64.Add(s);
            else if (FindIgnoringCase(section.name, ".NTamd64") != std::string::npos)
                laterX64.Add(s);
        }
        const char* const why =
            ": the launcher goes on under NT 5.2, so on XP x64 and Server 2003 x64 it runs "
            "under WOW64 and starts the installer with this INF, which ";
        if (x64.empty()) {
            std::string text =
                "no model section serves x64 NT 5.2 (a [Manufacturer] decoration NTamd64 or "
                "NTamd64.5.2)";
            if (!laterX64.empty())
                text += "; " + SectionsText(check_, laterX64) +
                        (laterX64.named.size() == 1 ? " comes" : " come") + " too late";
            return Warn("inf-x64-missing", 0, text + why + "installs nothing there");
        }
        std::string missing;
        std::size_t count = 0;
        for (std::size_t j = 0; j < check_.ids.size(); ++j) {
            bool served = false;
            for (const std::string& form : IdAndWiderForms(check_.Id(j))) {
                const std::uint32_t k = Known(otherKnown_, check_.otherIds, form);
                served = served || (k != kNone && onX64[k]);
            }
            if (served || ++count > kNamed) continue;
            missing += (missing.empty() ? "" : ", ") + ShortVisible(check_.Id(j));
        }
        if (count == 0) return;
        if (count > kNamed) missing += " and " + std::to_string(count - kNamed) + " more";
        Warn("inf-x64-missing", 0,
             SectionsText(check_, x64) + (x64.named.size() == 1 ? " lacks " : " lack ") +
                 std::to_string(count) + (count == 1 ? " PCI ID" : " PCI IDs") +
                 " that x86 NT 5.x has (" + missing + ")" + why +
                 "offers no driver there for such a device");
    }

    const InfFile& inf_;
    InfCheck& check_;
    const std::string& file_;
    std::vector<bool> read_;            // per section: its models are in already
    std::vector<std::uint32_t> other_;  // per section: its index in otherSections, or kNone
    HashIndex known_;                   // the IDs so far, letter case aside
    HashIndex otherKnown_;              // the same for otherIds
    HashIndex nt5Known_;                // nt5Names
    std::string scratch_;
    std::string expanded_;
};

// Lines that end in CR alone run into the next one when the INF is read.
void WarnCrLineEnds(std::string_view text, const std::string& file, InfCheck* check) {
    std::size_t first = std::string_view::npos;
    std::size_t count = 0;
    for (std::size_t i = text.find('\r'); i != std::string_view::npos; i = text.find('\r', i + 1)) {
        if (i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (first == std::string_view::npos) first = i;
        ++count;
    }
    if (count == 0) return;
    const bool noLf = text.find('\n') == std::string_view::npos;
    const int line = static_cast<int>(std::count(
                         text.begin(), text.begin() + static_cast<std::ptrdiff_t>(first), '\n')) +
                     1;
    check->warnings.push_back(
        {"inf-cr-line-ends", file, line, 0,
         noLf ? "its lines end in CR alone: INF lines end at LF, so the whole file is one line "
                "and nothing after its first line is read; save it with CR LF line ends"
              : std::to_string(count) +
                    " line ends are CR alone, the first in this line: INF lines end at LF, so "
                    "the text after such a CR belongs to the line before it; save the file with "
                    "CR LF line ends"});
}

std::string NotCoveredMessage(const InfCheck& inf, std::size_t j) {
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

}  // namespace

namespace {

// NT<architecture>.<major>.<minor>.<product type>.<suite mask>.<build>
std::vector<std::string_view> DecorationParts(std::string_view decoration) {
    std::vector<std::string_view> parts;
    ForEachField(decoration, '.',
                 [&](std::size_t, std::string_view part) { parts.push_back(TrimBlanks(part)); });
    return parts;
}

// A decimal field; with base 0 also 0x-prefixed, as the product type is
// often written.
bool NumberOf(std::string_view field, long* value, int base = 10) {
    const std::string text(field);
    char* end = nullptr;
    *value = std::strtol(text.c_str(), &end, base);
    return !text.empty() && *end == '\0';
}

// Whether the version fields leave NT major.minor in, as decorations name
// the oldest version they serve.
bool ServesVersion(const std::vector<std::string_view>& parts, long major, long minor) {
    if (parts.size() < 2 || parts[1].empty()) return true;
    long wantedMajor = 0;
    long wantedMinor = 0;
    if (!NumberOf(parts[1], &wantedMajor)) return false;
    if (parts.size() > 2 && !parts[2].empty() && !NumberOf(parts[2], &wantedMinor)) return false;
    return wantedMajor < major || (wantedMajor == major && wantedMinor <= minor);
}

std::string ArchitectureName(std::string_view architecture) {
    const std::pair<const char*, const char*> names[] = {
        {"x86", "x86"}, {"amd64", "x64"}, {"ia64", "Itanium"}, {"arm", "ARM"}, {"arm64", "ARM64"}};
    for (const auto& name : names)
        if (EqualsIgnoringCase(architecture, name.first)) return name.second;
    return std::string(architecture);
}

}  // namespace

bool DecorationAppliesToX86Nt5(std::string_view decoration) {
    const std::vector<std::string_view> parts = DecorationParts(decoration);
    if (!StartsWithIgnoringCase(parts[0], "NT")) return false;
    const std::string_view architecture = parts[0].substr(2);
    if (!architecture.empty() && !EqualsIgnoringCase(architecture, "x86")) return false;
    if (parts.size() < 2 || parts[1].empty()) return true;
    long major = 0;
    return NumberOf(parts[1], &major) && major <= 5;
}

bool DecorationAppliesToX64Nt52(std::string_view decoration) {
    const std::vector<std::string_view> parts = DecorationParts(decoration);
    return EqualsIgnoringCase(parts[0], "NTamd64") && ServesVersion(parts, 5, 2);
}

std::string DescribeDecoration(std::string_view decoration) {
    if (FindIgnoringCase(decoration, "$ARCH$") != std::string_view::npos)
        return "an unstamped $ARCH$ template, for no platform";
    const std::vector<std::string_view> parts = DecorationParts(decoration);
    if (!StartsWithIgnoringCase(parts[0], "NT")) return "no NT platform";
    std::string text = ArchitectureName(parts[0].substr(2));
    const auto part = [&](std::size_t i) {
        return i < parts.size() ? std::string(parts[i]) : std::string();
    };
    if (!part(1).empty()) {
        text += (text.empty() ? "NT " : ", NT ") + part(1) + "." +
                (part(2).empty() ? std::string("0") : part(2));
        if (!part(5).empty()) text += " build " + part(5);
        text += " and later";
    }
    long productType = 0;
    if (NumberOf(part(3), &productType, 0) && productType >= 1 && productType <= 3) {
        const char* const types[] = {"workstations", "domain controllers", "servers"};
        text += std::string(", ") + types[productType - 1];
    }
    return text.empty() ? "all platforms" : text;
}

InfCheck ReadInf(std::string_view bytes, const std::string& file) {
    InfCheck check;
    DecodedText decoded;
    std::string_view text = bytes;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        decoded = DecodeText(bytes);
        text = decoded.text;
    } else if (DecodeUnmarkedUtf16(bytes, &decoded)) {
        text = decoded.text;
        if (decoded.error.empty())
            check.warnings.push_back(
                {"inf-no-bom", file, 0, 0,
                 "the file is " + decoded.encoding +
                     " without the byte-order mark a Unicode INF starts with: it is read as " +
                     decoded.encoding +
                     " here, but Windows may take it for ANSI text and find nothing in it; save "
                     "it as Unicode with the mark"});
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        decoded.encoding = "UTF-8";
        text = bytes.substr(3);
    } else {
        decoded.encoding = "ANSI";
    }
    check.encoding = decoded.encoding;
    if (!decoded.error.empty()) {
        check.error = decoded.error;
        return check;
    }
    WarnCrLineEnds(text, file, &check);
    const InfFile inf(text);
    ModelCollector(inf, check, file).Collect();
    return check;
}

namespace {

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
    CrossChecker(const ListCheck& list, const std::string& idText,
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

    const ListCheck& list_;
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

}  // namespace

namespace {

// Per entry that matches no ID for x86 NT 5.x, the other model sections
// whose IDs it matches, if any.
std::unordered_map<std::size_t, SectionSet> EntriesElsewhere(const ListCheck& list,
                                                             const InfCheck& inf,
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

CrossCheck CrossCheckInf(const ListCheck& list, const InfCheck& inf, const launcher::CodePage& cp,
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
    for (std::size_t j = 0; j < inf.ids.size(); ++j)
        if (result.coveringEntry[j] < 0)
            result.warnings.push_back(
                {"inf-id-not-covered", infFile, inf.ids[j].line, 0, NotCoveredMessage(inf, j)});
    return result;
}

}  // namespace pkgcheck
