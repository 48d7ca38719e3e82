#include <algorithm>

#include "install/Installer.h"
#include "pkgcheck/read/Text.h"
#include "pkgcheck/report/Report.h"
#include "pkgcheck/report/SignatureReport.h"
#include "platform/PackageFiles.h"

namespace pkgcheck {
namespace {

using launcher::package::kInfPath;
using launcher::package::kListFile;

constexpr std::size_t kBlock = 1 << 16;
// Where the launcher goes on: NT 5.x, x64 editions of NT 5.2 included.
constexpr const char* kLauncherPlatforms = "Windows 2000, XP or Server 2003 (NT 5.x)";

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

std::string JoinIds(std::vector<std::string> ids) {
    for (std::string& id : ids) id = Visible(id);
    return Joined(ids, ", ");
}

class TextReport {
public:
    TextReport(const Report& r, const Output& output) : r_(r), output_(output) {}

    void Build() {
        out_ += "pkgcheck: package " + r_.options.packageDir + "\n";
        out_ += "  code page: " + r_.codePageName +
                "; install directory: " + AsInstallDir(r_.options.installDir) + "\n";
        LayoutPart();
        ListPart();
        InfPart();
        InstallerPart();
        Installer64Part();
        PayloadPart(r_.payload, "2000 and XP (x86)");
        PayloadPart(r_.payloadAmd64, "XP x64 and Server 2003 x64 (amd64)");
        for (const CatalogCheck& c : r_.catalogs) CatalogPart(c);
        DryRunPart();
        FleetPart();
        FindingsPart("Warnings", r_.warnings);
        FindingsPart("Errors", r_.errors);
        out_ += "\nResult: " + Plural(r_.errors.size(), "error", "errors") + ", " +
                Plural(r_.warnings.size(), "warning", "warnings") + "; exit status " +
                std::to_string(ExitStatus(r_)) + "\n";
        Flush();
    }

private:
    // Appended piece by piece: a table of a million rows is built without a
    // temporary string per row.
    void Row(std::initializer_list<std::string_view> cells) {
        for (const std::string_view cell : cells) out_ += cell;
        out_ += '\n';
        if (out_.size() >= kBlock) Flush();
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
        const ListFile& list = *r_.list;
        out_ += "\n" + std::string(kListFile) +
                " as the launcher reads it: " + Plural(list.bytes.size(), "byte", "bytes") + ", " +
                Plural(list.entries.size(), "entry", "entries") + "\n";
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
        const InfContents& inf = *r_.inf;
        out_ += "\n" + std::string(kInfPath) + " (" + inf.encoding +
                "): model sections for x86, NT 5.x:";
        for (const std::string& s : inf.sections) out_ += " [" + s + "]";
        out_ += inf.sections.empty() ? " none\n" : "\n";
        if (!inf.otherSections.empty()) {
            out_ += "  other model sections, which 2000 and XP on x86 do not read:";
            for (const InfOtherSection& s : inf.otherSections) out_ += " " + s.Label();
            out_ += "\n";
        }
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

    // Which files the loaders map to start the tool, and whether one refuses.
    void InstallerPart() {
        if (!r_.installer) return;
        const InstallerLoad& c = *r_.installer;
        out_ += "\nInstaller tool, as the loaders of 2000, XP and XP x64 read it:";
        for (const std::string& file : c.filesRead) out_ += " " + file;
        std::size_t errors = 0;
        for (const Finding& f : c.findings) errors += f.severity == Severity::Error ? 1 : 0;
        const std::size_t warnings = c.findings.size() - errors;
        if (c.findings.empty())
            out_ += "\n  all of them start it\n";
        else if (errors > 0)
            out_ += "\n  XP SP3 on x86 does not start it: " + Plural(errors, "error", "errors") +
                    " and " + Plural(warnings, "warning", "warnings") + " below\n";
        else
            out_ +=
                "\n  nothing found keeps XP SP3 on x86 from starting it; older or x64 "
                "systems, or a DLL no table knows, may: " +
                Plural(warnings, "warning", "warnings") + " below\n";
    }

    void Installer64Part() {
        if (!r_.installer64) return;
        const InstallerLoad& c = *r_.installer64;
        out_ += "\n64-bit installer tool, as the loader of XP x64 and Server 2003 x64 reads it:";
        for (const std::string& file : c.filesRead) out_ += " " + file;
        std::size_t errors = 0;
        for (const Finding& f : c.findings) errors += f.severity == Severity::Error ? 1 : 0;
        out_ += errors == 0 ? "\n  it starts there\n"
                            : "\n  it does not start there: " + Plural(errors, "error", "errors") +
                                  " below\n";
    }

    // What the install sections copy and where each file was found, for
    // each architecture apart.
    void PayloadPart(const std::optional<Payload>& payload, const char* systems) {
        if (!payload || payload->installs.empty()) return;
        const Payload& p = *payload;
        out_ += std::string("\nPayload on ") + systems + ": " +
                Plural(p.installs.size(), "install section", "install sections") + ", " +
                Plural(p.files.size(), "file", "files") + " copied\n";
        for (const PayloadInstall& install : p.installs) {
            Row({"  [", install.name, "] (", Plural(install.models, "model", "models"), ") ",
                 InstallText(install, p.architecture)});
        }
        std::size_t width = 4;
        for (const PayloadFile& file : p.files)
            width = std::max(width, std::min<std::size_t>(file.name.size(), 40));
        if (!p.files.empty()) out_ += "   line  " + Left("file", width) + "  found\n";
        for (const PayloadFile& file : p.files)
            Row({"  ", Right(file.line, 5), "  ", Left(file.name, width), "  ", FileState(file)});
        out_ += "  catalog: ";
        if (!p.catalog)
            out_ += "none (unsigned)\n";
        else
            out_ += p.catalog->name + " (" + p.catalog->key + "), " +
                    (p.catalog->found.empty() ? std::string("MISSING") : p.catalog->found) + "\n";
    }

    // Each file the INF installs, by the hash Windows looks it up by.
    void CatalogPart(const CatalogCheck& c) {
        out_ += "\nCatalog for " + c.architecture + ": " + c.catalog;
        if (!c.read) {
            out_ += ", UNREADABLE (see the errors)\n";
            return;
        }
        out_ += ", " + Plural(c.members, "member", "members") + "\n" + SignatureText(c);
        std::size_t width = 4;
        for (const CatalogFileState& file : c.files)
            width = std::max(width, std::min<std::size_t>(file.file.size(), 40));
        out_ += "  " + Left("file", width) + "  hash" + std::string(44, ' ') + "member\n";
        for (const CatalogFileState& file : c.files)
            Row({"  ", Left(file.file, width), "  ", file.image ? "image " : "SHA-1 ",
                 Left(file.hash, 40), "  ", MemberText(file.state)});
    }

    static std::string MemberText(MemberState state) {
        switch (state) {
            case MemberState::Member:
                return "yes";
            case MemberState::Changed:
                return "NO: changed after the catalog";
            case MemberState::FlatHash:
                return "NO: listed by the SHA-1 of all its bytes";
            case MemberState::Algorithm:
                return "NO: listed by another hash than SHA-1";
            case MemberState::Unreadable:
                return "UNREADABLE";
            case MemberState::NotUnpacked:
                return "NOT CHECKED: it cannot be unpacked here";
            case MemberState::NoMember:
                break;
        }
        return "NO";
    }

    static std::string InstallText(const PayloadInstall& install, const std::string& arch) {
        if (install.chosen.empty())
            return "MISSING: no [" + install.name + ".NT" + arch + "], [" + install.name +
                   ".NT] or [" + install.name + "]";
        std::string text = "installs from [" + install.chosen + "]";
        text += install.copyFiles.empty() ? ", copies nothing"
                                          : ", copies " + Joined(install.copyFiles, ", ");
        for (const std::string& binary : install.serviceBinaries)
            text += "; service binary " + binary;
        return text;
    }

    static std::string FileState(const PayloadFile& file) {
        if (file.listedIn.empty()) return "NOT LISTED in [SourceDisksFiles]";
        if (file.expected.empty()) return "disk " + file.disk + " NOT NAMED in [SourceDisksNames]";
        if (file.found.empty()) return "MISSING: " + file.expected;
        if (!file.cabinet.empty()) return "in the cabinet " + file.cabinet;
        if (!file.driver) return file.found;
        const PayloadDriver& d = *file.driver;
        if (!d.image) return file.found + " (no image)";
        std::string text = file.found + " (" + (d.pe32plus ? "PE32+" : "PE32") + ", machine " +
                           HexText(d.machine) + ", subsystem " + std::to_string(d.subsystem);
        if (d.checksum != 0)
            text += d.checksum == d.computedChecksum ? ", checksum right" : ", checksum WRONG";
        return text + ")";
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
        for (std::size_t i = 0; i < devices.names.size(); ++i) {
            DeviceLine(i);
            if (out_.size() >= kBlock) Flush();
        }
        if (!run.command.empty()) {
            out_ += std::string("  On ") + kLauncherPlatforms + " the launcher starts:\n    " +
                    run.command + "\n";
            if (r_.chosenInInf) out_ += "  " + InInf(*r_.chosenInInf) + "\n";
            out_ += r_.installStop ? "  The installation stops: " + FindingLine(*r_.installStop)
                                   : std::string(
                                         "  The package installs it on 2000 and XP (x86): "
                                         "nothing found stops the installation");
            out_ += "\n" + SignatureSummary(r_.catalogs, "x86");
            if (r_.payloadAmd64)
                out_ += r_.installStopX64
                            ? "  On XP x64 and Server 2003 x64 the installation stops: " +
                                  FindingLine(*r_.installStopX64) + "\n"
                            : std::string(
                                  "  On XP x64 and Server 2003 x64 amd64\\install.exe "
                                  "installs it: nothing found stops the installation\n");
            if (r_.payloadAmd64) out_ += SignatureSummary(r_.catalogs, "amd64");
        } else {
            out_ += std::string("  On ") + kLauncherPlatforms +
                    " the launcher shows a box captioned \"" + run.boxCaption +
                    "\": " + BoxText(run.boxText) + "\n";
        }
    }

    // Appended piece by piece: this runs once per device name.
    void DeviceLine(std::size_t i) {
        const DryRun& run = *r_.dryRun;
        const int index = static_cast<int>(i);
        const int match = run.firstMatch[i];
        AppendRight(i + 1, 7);
        out_ += "  ";
        if (match < 0) {
            out_ += "-        ";
        } else {
            const std::size_t start = out_.size();
            out_ += "entry ";
            AppendRight(static_cast<std::size_t>(match) + 1, 0);
            out_.append(out_.size() - start < 9 ? 9 - (out_.size() - start) : 0, ' ');
        }
        AppendVisible(r_.devices->names[i]);
        if (index == run.chosen) out_ += "  <- chosen";
        if (index == run.stoppedAt) out_ += "  <- too long: the scan stops here";
        if (index >= run.namesRead && run.namesRead > 0) out_ += "  (never read)";
        out_ += '\n';
    }

    // A number right-aligned in `width` columns, without a string of its own.
    void AppendRight(std::size_t n, std::size_t width) {
        char digits[24];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n > 0);
        if (width > count) out_.append(width - count, ' ');
        while (count > 0) out_ += digits[--count];
    }

    void AppendVisible(std::string_view bytes) {
        const bool plain = bytes.size() <= kShortVisibleLimit &&
                           std::all_of(bytes.begin(), bytes.end(), [](char c) {
                               return c > 0x20 && c < 0x7F && c != '<' && c != '>' && c != '"';
                           });
        if (plain)
            out_ += bytes;
        else
            out_ += ShortVisible(bytes);
    }

    // Whether the INF installs the chosen device, in a sentence.
    std::string InInf(const ChosenInInf& c) const {
        if (c.infId < 0)
            return std::string(kInfPath) + " does not install it: none of its hardware IDs (" +
                   JoinIds(c.hardwareIds) + ") is in the INF [chosen-not-in-inf]";
        const std::size_t j = static_cast<std::size_t>(c.infId);
        return std::string(kInfPath) + " installs it as " + ShortVisible(r_.inf->Id(j)) +
               " (line " + std::to_string(r_.inf->ids[j].line) + ", [" + r_.inf->SectionOf(j) +
               "])";
    }

    // One row a machine, then the totals.
    void FleetPart() {
        if (!r_.fleet) return;
        const std::vector<Machine>& fleet = *r_.fleet;
        std::size_t width = 11;
        for (const Machine& m : fleet)
            width = std::max(width, std::min<std::size_t>(m.file.size(), 40));
        out_ += "\nMachines: " + Plural(fleet.size(), "device file", "device files") +
                ", the launcher on " + kLauncherPlatforms + "\n";
        out_ += "  " + Left("device file", width) + "  outcome\n";
        for (const Machine& m : fleet) {
            out_ += "  " + Left(m.file, width) + "  " + Outcome(m) + "\n";
            if (out_.size() >= kBlock) Flush();
        }
        const FleetTotals t = TotalsOf(fleet);
        out_ += "Totals: " + Plural(static_cast<std::size_t>(t.machines), "machine", "machines") +
                "; installation: " + std::to_string(t.installations) + ", \"" +
                launcher::kUnsupportedCaption + "\" box: " + std::to_string(t.worryBoxes);
        if (t.otherBoxes > 0) out_ += ", another box: " + std::to_string(t.otherBoxes);
        out_ += ", error: " + std::to_string(t.errors) +
                "; chosen-not-in-inf: " + std::to_string(t.chosenNotInInf) + "\n";
    }

    static std::string Outcome(const Machine& m) {
        if (!m.error.empty())
            return "error: " + (m.failure == DevicesFailure::Unreadable ? "" : m.format + ": ") +
                   m.error;
        if (m.command.empty()) return "box \"" + m.boxCaption + "\": " + BoxText(m.boxText);
        std::string text = ShortVisible(m.chosen) + " (entry " + std::to_string(m.chosenEntry + 1) +
                           ") starts: " + m.command;
        if (m.inInf && m.inInf->infId < 0) text += "  [chosen-not-in-inf]";
        return text;
    }

    void Flush() {
        output_(out_);
        out_.clear();
    }

    void FindingsPart(const char* title, const std::vector<Finding>& findings) {
        if (findings.empty()) return;
        out_ += "\n" + std::string(title) + "\n";
        for (const Finding& f : findings) {
            out_ += "  " + FindingLine(f) + "\n";
            if (out_.size() >= kBlock) Flush();
        }
    }

    const Report& r_;
    const Output& output_;
    std::string out_;
};

}  // namespace

std::string FindingLine(const Finding& f) { return Where(f) + " [" + f.kind + "]: " + f.message; }

void FormatText(const Report& report, const Output& output) { TextReport(report, output).Build(); }

std::string FormatText(const Report& report) {
    std::string text;
    FormatText(report, [&](std::string_view block) { text += block; });
    return text;
}

}  // namespace pkgcheck
