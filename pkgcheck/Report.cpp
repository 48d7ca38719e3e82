#include "pkgcheck/Report.h"

#include <algorithm>

#include "pkgcheck/Json.h"
#include "pkgcheck/Text.h"

namespace pkgcheck {
namespace {

// Table columns: numbers right-aligned, words left-aligned.
template <typename Number>
std::string Right(Number n, std::size_t width) {
    const std::string text = std::to_string(n);
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

std::string Left(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Message-box text as a C string literal would spell it.
std::string BoxText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    return out + "\"";
}

std::string Lines(const ListEntry& e) {
    return e.lastLine > e.line ? std::to_string(e.line) + "-" + std::to_string(e.lastLine)
                               : std::to_string(e.line);
}

std::string Where(const Finding& f) {
    std::string where = f.file;
    if (f.line > 0) where += " line " + std::to_string(f.line);
    if (f.entry > 0) where += ", entry " + std::to_string(f.entry);
    return where;
}

class TextReport {
public:
    explicit TextReport(const Report& r) : r_(r) {}

    std::string Build() {
        out_.reserve(Estimate());
        out_ += "pkgcheck: package " + r_.options.packageDir + "\n";
        out_ += "  code page: " + r_.codePageName +
                "; install directory: " + AsInstallDir(r_.options.installDir) + "\n";
        LayoutPart();
        ListPart();
        InfPart();
        DryRunPart();
        FindingsPart("Warnings", r_.warnings);
        FindingsPart("Errors", r_.errors);
        out_ += "\nResult: " + Plural(r_.errors.size(), "error", "errors") + ", " +
                Plural(r_.warnings.size(), "warning", "warnings") + "; exit status " +
                std::to_string(ExitStatus(r_)) + "\n";
        return std::move(out_);
    }

private:
    // A list or an INF of a million lines makes a report of tens of
    // megabytes: grown by doubling, it would be held twice over at times.
    std::size_t Estimate() const {
        const auto shown = [](std::size_t bytes) {
            return std::min(bytes, kShortVisibleLimit + 32) + 32;
        };
        std::size_t size = 4096;
        if (r_.list)
            for (const ListEntry& e : r_.list->entries) size += shown(e.length);
        if (r_.inf)
            for (const InfHardwareId& id : r_.inf->ids) size += shown(id.length);
        if (r_.devices)
            for (const std::string& name : r_.devices->names) size += shown(name.size());
        for (const auto* findings : {&r_.warnings, &r_.errors})
            for (const Finding& f : *findings) size += f.message.size() + 64;
        return size;
    }

    // Appended piece by piece: a table of a million rows is built without a
    // temporary string per row.
    void Row(std::initializer_list<std::string_view> cells) {
        for (const std::string_view cell : cells) out_ += cell;
        out_ += '\n';
    }

    void LayoutPart() {
        out_ += "\nLayout\n";
        for (const LayoutItem& item : r_.layout.items) {
            std::string state = item.found.empty()        ? "MISSING"
                                : item.found == item.name ? "found"
                                                          : "found as " + item.found;
            out_ += "  " + Left(item.name, 17) + " " + state + "\n";
        }
    }

    void ListPart() {
        if (!r_.list) return;
        const ListCheck& list = *r_.list;
        out_ +=
            "\nkey.ini as the launcher reads it: " + Plural(list.bytes.size(), "byte", "bytes") +
            ", " + Plural(list.entries.size(), "entry", "entries") + "\n";
        if (list.entries.empty()) return;
        out_ += "  entry  line   bytes  text\n";
        for (std::size_t i = 0; i < list.entries.size(); ++i) {
            const ListEntry& e = list.entries[i];
            Row({"  ", Right(i + 1, 5), "  ", Left(Lines(e), 5), "  ", Right(e.length, 5), "  ",
                 ShortVisible(list.Text(e))});
        }
        out_ += "  (blanks, CR, LF, < > \" and bytes above 0x7F are shown as <XX>)\n";
    }

    void InfPart() {
        if (!r_.inf || !r_.inf->error.empty()) return;
        const InfCheck& inf = *r_.inf;
        out_ += "\ndrv\\stordrv.inf (" + inf.encoding + "): model sections for x86, NT 5.x:";
        for (const std::string& s : inf.sections) out_ += " [" + s + "]";
        out_ += inf.sections.empty() ? " none\n" : "\n";
        if (inf.ids.empty()) return;
        out_ += "   line  covered by  PCI hardware ID\n";
        for (std::size_t j = 0; j < inf.ids.size(); ++j) {
            const int entry = r_.cross ? r_.cross->coveringEntry[j] : -1;
            const std::string by = entry < 0 ? "-" : "entry " + std::to_string(entry + 1);
            Row({"  ", Right(inf.ids[j].line, 5), "  ", Left(by, 10), "  ",
                 ShortVisible(inf.Id(j))});
        }
        out_ +=
            "  (an entry covers an ID when it occurs, case-sensitively, in the ID's upper-case "
            "form without PCI\\)\n";
    }

    void DryRunPart() {
        if (!r_.dryRun) return;
        const DeviceList& devices = *r_.devices;
        const DryRun& run = *r_.dryRun;
        out_ += "\nDry run: " + Plural(devices.names.size(), "subkey", "subkeys") + " from " +
                r_.devicesSource + " (" + devices.format + ")";
        out_ += devices.sortedHere ? ", sorted as the registry enumerates them (by name, letter "
                                     "case aside)\n"
                                   : ", in the order the registry enumerates them\n";
        out_ += "      #  matches  subkey name\n";
        for (std::size_t i = 0; i < devices.names.size(); ++i) DeviceLine(i);
        if (!run.command.empty()) {
            out_ += "  On Windows 2000 or XP the launcher starts:\n    " + run.command + "\n";
        } else {
            out_ += "  On Windows 2000 or XP the launcher shows a box captioned \"" +
                    run.boxCaption + "\": " + BoxText(run.boxText) + "\n";
        }
    }

    void DeviceLine(std::size_t i) {
        const DryRun& run = *r_.dryRun;
        const int index = static_cast<int>(i);
        const int match = run.firstMatch[i];
        std::string mark;
        if (index == run.chosen) mark = "  <- chosen";
        if (index == run.stoppedAt) mark = "  <- too long: the scan stops here";
        if (index >= run.namesRead && run.namesRead > 0) mark += "  (never read)";
        const std::string matches = match < 0 ? "-" : "entry " + std::to_string(match + 1);
        Row({"  ", Right(i + 1, 5), "  ", Left(matches, 7), "  ",
             ShortVisible(r_.devices->names[i]), mark});
    }

    void FindingsPart(const char* title, const std::vector<Finding>& findings) {
        if (findings.empty()) return;
        out_ += "\n" + std::string(title) + "\n";
        for (const Finding& f : findings)
            out_ += "  " + Where(f) + " [" + f.kind + "]: " + f.message + "\n";
    }

    const Report& r_;
    std::string out_;
};

void WriteFindings(JsonWriter& json, const std::vector<Finding>& findings) {
    json.BeginArray();
    for (const Finding& f : findings) {
        json.BeginObject().Key("kind").String(f.kind).Key("file").String(f.file);
        json.Key("line").Ordinal(f.line - 1).Key("entry").Ordinal(f.entry - 1);
        json.Key("message").String(f.message).EndObject();
    }
    json.EndArray();
}

void WriteList(JsonWriter& json, const ListCheck& list) {
    json.BeginObject().Key("bytes").Number(static_cast<long long>(list.bytes.size()));
    json.Key("nulOffset");
    if (list.nulOffset == std::string::npos)
        json.Null();
    else
        json.Number(static_cast<long long>(list.nulOffset));
    json.Key("entries").BeginArray();
    for (const ListEntry& e : list.entries)
        json.BeginObject()
            .Key("line")
            .Number(e.line)
            .Key("lastLine")
            .Number(e.lastLine)
            .Key("text")
            .String(list.Text(e))
            .Key("visible")
            .String(Visible(list.Text(e)))
            .EndObject();
    json.EndArray().EndObject();
}

void WriteInf(JsonWriter& json, const InfCheck& inf, const std::optional<CrossCheck>& cross) {
    json.BeginObject().Key("encoding").String(inf.encoding).Key("sections").BeginArray();
    for (const std::string& s : inf.sections) json.String(s);
    json.EndArray().Key("hardwareIds").BeginArray();
    for (std::size_t j = 0; j < inf.ids.size(); ++j)
        json.BeginObject()
            .Key("id")
            .String(inf.Id(j))
            .Key("section")
            .String(inf.SectionOf(j))
            .Key("line")
            .Number(inf.ids[j].line)
            .Key("coveredBy")
            .Ordinal(cross ? cross->coveringEntry[j] : -1)
            .EndObject();
    json.EndArray().Key("entriesWithoutHardwareId").BeginArray();
    if (cross && !inf.ids.empty())
        for (std::size_t i = 0; i < cross->entryMatchesInf.size(); ++i)
            if (!cross->entryMatchesInf[i]) json.Number(static_cast<long long>(i + 1));
    json.EndArray().EndObject();
}

void WriteDryRun(JsonWriter& json, const Report& r) {
    const DryRun& run = *r.dryRun;
    const DeviceList& devices = *r.devices;
    json.BeginObject().Key("source").String(r.devicesSource).Key("format").String(devices.format);
    json.Key("sortedHere").Bool(devices.sortedHere).Key("devices").BeginArray();
    for (std::size_t i = 0; i < devices.names.size(); ++i)
        json.BeginObject()
            .Key("name")
            .String(devices.names[i])
            .Key("firstMatch")
            .Ordinal(run.firstMatch[i])
            .EndObject();
    json.EndArray().Key("namesRead").Number(run.namesRead).Key("stoppedAt").Ordinal(run.stoppedAt);
    json.Key("chosen").Ordinal(run.chosen).Key("chosenEntry").Ordinal(run.chosenEntry);
    json.Key("command");
    if (run.command.empty())
        json.Null();
    else
        json.String(run.command);
    json.Key("box");
    if (run.command.empty())
        json.BeginObject()
            .Key("caption")
            .String(run.boxCaption)
            .Key("text")
            .String(run.boxText)
            .EndObject();
    else
        json.Null();
    json.EndObject();
}

}  // namespace

std::string FormatText(const Report& report) { return TextReport(report).Build(); }

// Texts are written whole, each entry twice (as it is and visible), with
// their keys and indentation around them. Falling short costs a doubling.
std::size_t JsonEstimate(const Report& r) {
    std::size_t size = 4096;
    if (r.list)
        for (const ListEntry& e : r.list->entries) size += 2 * e.length + 128;
    if (r.inf)
        for (std::size_t j = 0; j < r.inf->ids.size(); ++j)
            size += r.inf->ids[j].length + r.inf->SectionOf(j).size() + 112;
    if (r.devices)
        for (const std::string& name : r.devices->names) size += name.size() + 72;
    for (const auto* findings : {&r.warnings, &r.errors})
        for (const Finding& f : *findings) size += f.message.size() + f.file.size() + 192;
    return size;
}

std::string FormatJson(const Report& r) {
    JsonWriter json;
    json.Reserve(JsonEstimate(r));
    json.BeginObject().Key("package").String(r.options.packageDir);
    json.Key("installDir").String(AsInstallDir(r.options.installDir));
    json.Key("codePage").String(r.codePageName).Key("layout").BeginArray();
    for (const LayoutItem& item : r.layout.items) {
        json.BeginObject().Key("name").String(item.name).Key("found");
        if (item.found.empty())
            json.Null();
        else
            json.String(item.found);
        json.EndObject();
    }
    json.EndArray().Key("list");
    if (r.list)
        WriteList(json, *r.list);
    else
        json.Null();
    json.Key("inf");
    if (r.inf && r.inf->error.empty())
        WriteInf(json, *r.inf, r.cross);
    else
        json.Null();
    json.Key("dryRun");
    if (r.dryRun)
        WriteDryRun(json, r);
    else
        json.Null();
    json.Key("warnings");
    WriteFindings(json, r.warnings);
    json.Key("errors");
    WriteFindings(json, r.errors);
    json.Key("exitStatus").Number(ExitStatus(r)).EndObject();
    return json.Take();
}

}  // namespace pkgcheck
