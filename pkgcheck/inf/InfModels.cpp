#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

#include "payload/Decoration.h"
#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/inf/InfPlaces.h"
#include "pkgcheck/inf/InfText.h"
#include "pkgcheck/read/HardwareIds.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {
namespace {

constexpr std::uint32_t kNone = HashIndex::kNone;

constexpr const char* kInstallsNothing =
    ": Windows finds no driver in it for any device, so the package installs nothing on 2000 and "
    "XP";

class ModelCollector {
public:
    ModelCollector(const InfFile& inf, InfContents& check, const std::string& file)
        : inf_(inf),
          check_(check),
          file_(file),
          read_(inf.SectionCount(), false),
          other_(inf.SectionCount(), kNone) {}

    void Collect() {
        const std::uint32_t manufacturer = inf_.Find("Manufacturer");
        if (manufacturer == kNone) {
            check_.errors.push_back(
                {"inf-no-manufacturer", file_, 0, 0,
                 std::string("no [Manufacturer] section, so no models") + kInstallsNothing,
                 Severity::Error});
            return;
        }
        inf_.ForEachLine(manufacturer, [this](const LogicalLine& l) { CollectManufacturer(l); });
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

    void CollectManufacturer(const LogicalLine& l) {
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
        inf_.ForEachLine(models, [&](const LogicalLine& l) { ReadModel(l, section, true); });
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
        inf_.ForEachLine(models, [&](const LogicalLine& l) { ReadModel(l, section, false); });
    }

    // desc = install-section, hardware-id[, compatible-id...]
    void ReadModel(const LogicalLine& model, std::uint32_t section, bool x86Nt5) {
        const std::size_t eq = FindUnquoted(model.text, '=');
        if (eq == std::string_view::npos) return;
        ForEachField(model.text.substr(eq + 1), ',', [&](std::size_t i, std::string_view field) {
            if (i == 0 && x86Nt5) AddInstall(field, section, model.line, check_.installs);
            if (i == 0 && !x86Nt5 && check_.otherSections[section].x64Nt52)
                AddInstall(field, section, model.line, check_.installsX64);
            if (i == 0) return;
            const std::string_view id = inf_.Substitute(Unquoted(field, &scratch_), &expanded_);
            if (!StartsWithIgnoringCase(id, "PCI\\")) return;
            if (x86Nt5)
                AddId(id, section, model.line);
            else
                AddOtherId(id, section, model.line);
        });
    }

    void AddInstall(std::string_view field, std::uint32_t section, int line,
                    std::vector<InfInstall>& installs) {
        const std::string_view name = inf_.Substitute(Unquoted(field, &scratch_), &expanded_);
        if (name.empty()) return;
        HashIndex& index = &installs == &check_.installs ? installKnown_ : installX64Known_;
        const std::uint64_t hash = HashOf(name, FoldCase);
        std::uint32_t known = index.Find(
            hash, [&](std::uint32_t i) { return EqualsIgnoringCase(installs[i].name, name); });
        if (known == kNone) {
            known = static_cast<std::uint32_t>(installs.size());
            installs.push_back({std::string(name), section, line});
            index.Add(hash, known);
        }
        ++installs[known].models;
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
        check_.errors.push_back(
            {"inf-no-pci-ids", file_, 0, 0, std::move(text) + kInstallsNothing, Severity::Error});
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
            for (const std::string& form : HardwareIdForms(check_.Id(j))) {
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
    InfContents& check_;
    const std::string& file_;
    std::vector<bool> read_;            // per section: its models are in already
    std::vector<std::uint32_t> other_;  // per section: its index in otherSections, or kNone
    HashIndex known_;                   // the IDs so far, letter case aside
    HashIndex otherKnown_;              // the same for otherIds
    HashIndex nt5Known_;                // nt5Names
    HashIndex installKnown_;            // check_.installs
    HashIndex installX64Known_;         // check_.installsX64
    std::string scratch_;
    std::string expanded_;
};

// Lines that end in CR alone run into the next one when the INF is read.
void WarnCrLineEnds(std::string_view text, const std::string& file, InfContents* check) {
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

// The installer tool's own rule, for a workstation of any NT 5 version on
// x86 (2000 reads no decorations, so XP's suites are the ones that count).
bool DecorationAppliesToX86Nt5(std::string_view decoration) {
    const payload::OsVersion nt5Workstation{5, 0xFF, 1, payload::kXpSuites};
    return payload::DecorationRank(decoration, "x86", nt5Workstation) >= 0;
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
    if (!part(4).empty()) text += ", suite mask " + part(4);
    return text.empty() ? "all platforms" : text;
}

InfContents ReadInf(std::string bytes, const std::string& file) {
    InfContents check;
    DecodedText decoded;
    std::string text;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        decoded = DecodeText(bytes);
        text = std::move(decoded.text);
    } else if (DecodeUnmarkedUtf16(bytes, &decoded)) {
        text = std::move(decoded.text);
        if (decoded.error.empty())
            check.warnings.push_back(
                {"inf-no-bom", file, 0, 0,
                 "the file is " + decoded.encoding +
                     " without the byte-order mark a Unicode INF starts with: it is read as " +
                     decoded.encoding +
                     " here, but Windows may take it for ANSI text and find nothing in it; save "
                     "it as Unicode with the mark"});
    } else if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        decoded.encoding = "UTF-8";
        text = std::move(bytes.erase(0, 3));
    } else {
        decoded.encoding = "ANSI";
        text = std::move(bytes);
    }
    check.encoding = decoded.encoding;
    if (!decoded.error.empty()) {
        check.error = decoded.error;
        check.errors.push_back(
            {"unreadable", file, 0, 0, "cannot read as text: " + decoded.error, Severity::Error});
        return check;
    }
    WarnCrLineEnds(text, file, &check);
    // Kept for the stages that read the INF's other sections.
    check.document = std::make_shared<const InfDocument>(std::move(text));
    ModelCollector(check.document->File(), check, file).Collect();
    return check;
}

}  // namespace pkgcheck
