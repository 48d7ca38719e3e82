#include "pkgcheck/Inf.h"

#include <cstdlib>
#include <map>

#include "pkgcheck/Text.h"

namespace pkgcheck {
namespace {

struct InfLine {
    std::string text;  // without comment, blanks trimmed, continuations joined
    int line;
};

struct Section {
    std::string name;
    std::vector<InfLine> lines;
};

std::string WithoutComment(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        if (line[i] == ';' && !quoted) return std::string(line.substr(0, i));
    }
    return std::string(line);
}

// Splits at `separator` outside double quotes; fields come back trimmed and
// unquoted ("" inside quotes stands for one quote).
std::vector<std::string> SplitFields(std::string_view text, char separator) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' && quoted && i + 1 < text.size() && text[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == separator && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::string& f : fields) f = std::string(TrimBlanks(f));
    return fields;
}

std::size_t FindUnquoted(std::string_view text, char c) {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') quoted = !quoted;
        if (text[i] == c && !quoted) return i;
    }
    return std::string_view::npos;
}

class InfFile {
public:
    explicit InfFile(std::string_view text) {
        Section* current = nullptr;
        const auto physical = SplitLines(text);
        for (std::size_t i = 0; i < physical.size(); ++i) {
            const int number = static_cast<int>(i + 1);
            std::string line(TrimBlanks(WithoutComment(physical[i])));
            while (!line.empty() && line.back() == '\\' && i + 1 < physical.size()) {
                line.pop_back();
                line += TrimBlanks(WithoutComment(physical[++i]));
            }
            if (line.empty()) continue;
            if (line.front() == '[') {
                const std::size_t close = line.find(']');
                current = &SectionNamed(std::string(TrimBlanks(line.substr(1, close - 1))));
            } else if (current) {
                current->lines.push_back({line, number});
            }
        }
        CollectStrings();
    }

    const Section* Find(std::string_view name) const {
        const auto found = index_.find(UpperAscii(name));
        return found == index_.end() ? nullptr : &sections_[found->second];
    }

    // %key% replaced from the [Strings] sections; %% is one percent sign.
    std::string Substitute(std::string_view text) const {
        std::string out;
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
            if (close == std::string::npos) {
                out += text[i++];
                continue;
            }
            const std::string key = UpperAscii(text.substr(i + 1, close - i - 1));
            const auto value = strings_.find(key);
            out += key.empty()               ? "%"
                   : value != strings_.end() ? value->second
                                             : std::string(text.substr(i, close - i + 1));
            i = close + 1;
        }
        return out;
    }

private:
    Section& SectionNamed(const std::string& name) {
        const auto [where, added] = index_.emplace(UpperAscii(name), sections_.size());
        if (added) sections_.push_back({name, {}});
        return sections_[where->second];
    }

    // The undecorated [Strings] wins over localized ones.
    void CollectStrings() {
        for (const Section& s : sections_) {
            const bool plain = EqualsIgnoringCase(s.name, "Strings");
            if (!plain && !StartsWithIgnoringCase(s.name, "Strings.")) continue;
            for (const InfLine& l : s.lines) {
                const std::size_t eq = FindUnquoted(l.text, '=');
                if (eq == std::string::npos) continue;
                const std::string key = UpperAscii(TrimBlanks(l.text.substr(0, eq)));
                const std::string value = SplitFields(l.text.substr(eq + 1), '\0').front();
                if (plain)
                    strings_[key] = value;
                else
                    strings_.emplace(key, value);
            }
        }
    }

    std::vector<Section> sections_;
    std::map<std::string, std::size_t> index_;
    std::map<std::string, std::string> strings_;
};

class ModelCollector {
public:
    ModelCollector(const InfFile& inf, InfCheck& check, const std::string& file)
        : inf_(inf), check_(check), file_(file) {}

    void Collect() {
        const Section* manufacturer = inf_.Find("Manufacturer");
        if (!manufacturer) {
            Warn("inf-no-manufacturer", 0, "no [Manufacturer] section, so no models");
            return;
        }
        for (const InfLine& l : manufacturer->lines) CollectManufacturer(l);
        if (check_.ids.empty())
            Warn("inf-no-pci-ids", 0, "no PCI hardware IDs in the model sections for x86, NT 5.x");
    }

private:
    void Warn(const char* kind, int line, std::string message) {
        check_.warnings.push_back({kind, file_, line, 0, std::move(message)});
    }

    void CollectManufacturer(const InfLine& l) {
        const std::size_t eq = FindUnquoted(l.text, '=');
        if (eq == std::string::npos) {
            // A lone identifier names its models section itself.
            std::string name = std::string(TrimBlanks(l.text));
            if (name.size() > 2 && name.front() == '%' && name.back() == '%')
                name = name.substr(1, name.size() - 2);
            return ReadModels(name, l.line, true);
        }
        const std::vector<std::string> fields = SplitFields(l.text.substr(eq + 1), ',');
        const std::string base = inf_.Substitute(fields.front());
        ReadModels(base, l.line, fields.size() == 1);
        for (std::size_t i = 1; i < fields.size(); ++i)
            if (DecorationAppliesToX86Nt5(fields[i]))
                ReadModels(base + "." + inf_.Substitute(fields[i]), l.line, true);
    }

    void ReadModels(const std::string& name, int manufacturerLine, bool required) {
        for (const std::string& done : check_.sections)
            if (EqualsIgnoringCase(done, name)) return;
        const Section* models = inf_.Find(name);
        if (!models) {
            if (required)
                Warn("inf-missing-section", manufacturerLine,
                     "[Manufacturer] names model section [" + name + "], which the file lacks");
            return;
        }
        check_.sections.push_back(models->name);
        for (const InfLine& model : models->lines) ReadModel(model, models->name);
    }

    void ReadModel(const InfLine& model, const std::string& section) {
        const std::size_t eq = FindUnquoted(model.text, '=');
        if (eq == std::string::npos) return;
        const std::vector<std::string> fields = SplitFields(model.text.substr(eq + 1), ',');
        for (std::size_t i = 1; i < fields.size(); ++i) {
            if (!StartsWithIgnoringCase(fields[i], "PCI\\") || Known(fields[i])) continue;
            check_.ids.push_back({fields[i], section, model.line});
        }
    }

    bool Known(const std::string& id) const {
        for (const InfHardwareId& known : check_.ids)
            if (EqualsIgnoringCase(known.id, id)) return true;
        return false;
    }

    const InfFile& inf_;
    InfCheck& check_;
    const std::string& file_;
};

std::string NotCoveredMessage(const InfHardwareId& id) {
    std::string text = id.id + " (in [" + id.section + "]) is covered by no list entry, so the " +
                       "launcher never chooses such a device";
    if (DeviceNameOf(id).find("CC_") != std::string::npos)
        text += " (class-code IDs never occur in subkey names)";
    return text;
}

}  // namespace

bool DecorationAppliesToX86Nt5(std::string_view decoration) {
    const std::vector<std::string> parts = SplitFields(decoration, '.');
    if (!StartsWithIgnoringCase(parts[0], "NT")) return false;
    const std::string architecture = parts[0].substr(2);
    if (!architecture.empty() && !EqualsIgnoringCase(architecture, "x86")) return false;
    if (parts.size() < 2 || parts[1].empty()) return true;
    char* end = nullptr;
    const long major = std::strtol(parts[1].c_str(), &end, 10);
    return *end == '\0' && major <= 5;
}

InfCheck ReadInf(std::string_view bytes, const std::string& file) {
    InfCheck check;
    DecodedText decoded = DecodeText(bytes);
    check.encoding = decoded.encoding;
    if (!decoded.error.empty()) {
        check.error = decoded.error;
        return check;
    }
    const InfFile inf(decoded.text);
    ModelCollector(inf, check, file).Collect();
    return check;
}

std::string DeviceNameOf(const InfHardwareId& id) { return UpperAscii(id.id.substr(4)); }

CrossCheck CrossCheckInf(const std::vector<ListEntry>& entries, const InfCheck& inf,
                         const launcher::CodePage& cp, const std::string& listFile,
                         const std::string& infFile) {
    CrossCheck result;
    std::vector<std::string> names;
    for (const InfHardwareId& id : inf.ids) names.push_back(DeviceNameOf(id));

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i].text;
        bool matches = false;
        for (const std::string& name : names)
            matches = matches || launcher::ContainsAtBoundary(name, e, cp) ||
                      launcher::ContainsAtBoundary(e, name, cp);
        result.entryMatchesInf.push_back(matches);
        if (!matches && !names.empty())
            result.warnings.push_back(
                {"entry-not-in-inf", listFile, entries[i].line, static_cast<int>(i + 1),
                 Visible(e) + " matches no PCI hardware ID of " + infFile +
                     ": the launcher may hand the installer a device the INF does not install"});
    }
    for (std::size_t j = 0; j < names.size(); ++j) {
        int covering = -1;
        for (std::size_t i = 0; i < entries.size() && covering < 0; ++i)
            if (launcher::ContainsAtBoundary(names[j], entries[i].text, cp))
                covering = static_cast<int>(i);
        result.coveringEntry.push_back(covering);
        if (covering < 0)
            result.warnings.push_back(
                {"inf-id-not-covered", infFile, inf.ids[j].line, 0, NotCoveredMessage(inf.ids[j])});
    }
    return result;
}

}  // namespace pkgcheck
