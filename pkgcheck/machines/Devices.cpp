#include "pkgcheck/machines/Devices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>

#include "pkgcheck/read/Ansi.h"
#include "pkgcheck/read/Files.h"
#include "pkgcheck/read/HardwareIds.h"
#include "pkgcheck/read/Text.h"

namespace pkgcheck {

namespace {

constexpr std::string_view kEnumPci = "\\Enum\\PCI\\";
constexpr std::string_view kNameTemplate = "VEN_####&DEV_####&SUBSYS_########&REV_##";
// Lines named one by one in warnings of a kind; the rest are counted.
constexpr int kLinesNamed = 10;

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsHexRun(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at),
                       text.begin() + static_cast<std::ptrdiff_t>(at + count), IsHex);
}

bool ParseHex(std::string_view text, unsigned* value) {
    // lspci -vmmnn writes "Intel Corporation [8086]"; the number is in brackets.
    const std::size_t open = text.rfind('[');
    if (open != std::string_view::npos && !text.empty() && text.back() == ']')
        text = text.substr(open + 1, text.size() - open - 2);
    if (StartsWithIgnoringCase(text, "0x")) text.remove_prefix(2);
    if (text.empty() || text.size() > 8 || !IsHexRun(text, 0, text.size())) return false;
    *value = static_cast<unsigned>(std::strtoul(std::string(text).c_str(), nullptr, 16));
    return true;
}

// Calls visit(line, number, offset) for each line, without its line end.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
    int number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        visit(line, ++number, start);
        start = end + 1;
    }
}

// The first line that is neither blank nor a comment: it tells the format.
std::string_view FirstLine(std::string_view text) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        // The CR first: blanks may stand before it ("REGEDIT4  " CR LF).
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = TrimBlanks(line);
        if (!line.empty() && line.front() != '#') return line;
        start = end + 1;
    }
    return {};
}

// Collects the names of one file with the line each comes from, and what is
// odd about them.
class Collector {
public:
    explicit Collector(const std::string& file) : file_(file) {}

    std::string_view Adopt(std::string text) { return list_.names.Adopt(std::move(text)); }
    void Reserve(std::size_t names) { list_.names.Reserve(names); }
    void ReserveText(std::size_t bytes) { list_.names.ReserveText(bytes); }

    void Name(std::string_view name, int line) {
        if (IsSubkeyName(name)) {
            ++wellFormed_;
        } else {
            LineWarning(&odd_, "odd-name", line,
                        ShortVisible(name) +
                            " is not of the usual form VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh "
                            "(upper-case hexadecimal); it is kept as given, and the launcher's "
                            "substring match applies to it as to any name");
        }
        list_.names.Add(name);
    }

    void Warn(const char* kind, int line, std::string message) {
        list_.warnings.push_back({kind, file_, line, 0, std::move(message)});
    }

    struct Counted {
        int count = 0;
    };
    // A warning for the first few lines of a kind; later ones only counted.
    void LineWarning(Counted* counted, const char* kind, int line, std::string message) {
        if (++counted->count <= kLinesNamed) Warn(kind, line, std::move(message));
    }

    // See DeviceFormatInfo::looseNames.
    DeviceList Finish(std::string format, bool looseNames = false) {
        SummarizeCount(odd_, "odd-name", "lines hold no PCI subkey name of the usual form");
        list_.format = std::move(format);
        if (looseNames && list_.names.empty()) {
            list_.error =
                "no subkey of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI in it";
            list_.failure = DevicesFailure::UnknownFormat;
            return std::move(list_);
        }
        if (!looseNames && wellFormed_ == 0) {
            list_.error = "no PCI subkey name (VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh) in it";
            list_.names = NameList();
            list_.warnings.clear();  // the error says it all
            list_.failure = DevicesFailure::UnknownFormat;
            return std::move(list_);
        }
        list_.names.SortAsRegistry();
        list_.sortedHere = true;
        return std::move(list_);
    }

    DeviceList Fail(std::string format, std::string error) {
        list_ = DeviceList();
        list_.failure = DevicesFailure::UnknownFormat;
        list_.format = std::move(format);
        list_.error = std::move(error);
        return std::move(list_);
    }

private:
    void SummarizeCount(const Counted& counted, const char* kind, const char* what) {
        if (counted.count > kLinesNamed)
            Warn(kind, 0, std::to_string(counted.count - kLinesNamed) + " more " + what);
    }

    const std::string& file_;
    DeviceList list_;
    std::size_t wellFormed_ = 0;
    Counted odd_;
};

// The part of a registry path below Enum\PCI, when it is a direct subkey:
// only those are what the launcher enumerates, not the device instances
// below them.
bool DirectPciSubkey(std::string_view path, std::string_view* name) {
    const std::size_t at = FindIgnoringCase(path, kEnumPci);
    if (at == std::string_view::npos) return false;
    const std::string_view rest = path.substr(at + kEnumPci.size());
    if (rest.empty() || rest.find('\\') != std::string_view::npos) return false;
    *name = rest;
    return true;
}

bool ReadRegExport(std::string owned, Collector& c, std::string* format, std::string*) {
    const std::string_view text = c.Adopt(std::move(owned));
    *format = "reg export (" + std::string(FirstLine(text)) + ")";
    ForEachLine(text, [&](std::string_view line, int number, std::size_t) {
        line = TrimBlanks(line);
        if (line.size() < 2 || line.front() != '[' || line.back() != ']' || line[1] == '-') return;
        std::string_view name;
        if (DirectPciSubkey(line.substr(1, line.size() - 2), &name)) c.Name(name, number);
    });
    return true;
}

bool IsRegQueryKeyLine(std::string_view line) {
    return StartsWithIgnoringCase(line, "HKEY_LOCAL_MACHINE\\") ||
           StartsWithIgnoringCase(line, "HKLM\\");
}

// reg query prints the key names flush left and their values indented.
bool ReadRegQuery(std::string owned, Collector& c, std::string*, std::string*) {
    ForEachLine(c.Adopt(std::move(owned)), [&](std::string_view line, int number, std::size_t) {
        std::string_view name;
        line = TrimBlanks(line);
        if (IsRegQueryKeyLine(line) && DirectPciSubkey(line, &name)) c.Name(name, number);
    });
    return true;
}

// One lspci -vmmn record's fields by name ("Vendor", "SDevice"...).
using Record = std::map<std::string, std::string, std::less<>>;

bool NameOfRecord(const Record& record, std::string* name) {
    unsigned id[5] = {0, 0, 0, 0, 0};
    const char* fields[5] = {"Vendor", "Device", "SVendor", "SDevice", "Rev"};
    for (int i = 0; i < 5; ++i) {
        const auto found = record.find(fields[i]);
        // lspci leaves out zero subsystem IDs and revisions.
        if (found == record.end()) {
            if (i < 2) return false;
            continue;
        }
        if (!ParseHex(found->second, &id[i])) return false;
    }
    *name = SubkeyName(id[0], id[1], id[2], id[3], id[4]);
    return true;
}

bool ReadLspciRecords(std::string_view text, Collector& c, std::string* error) {
    Record record;
    int recordLine = 0;
    auto finish = [&]() {
        if (record.empty() || !error->empty()) return;
        std::string name;
        if (NameOfRecord(record, &name))
            c.Name(name, recordLine);
        else
            *error = "the record on line " + std::to_string(recordLine) +
                     " has no hexadecimal Vendor and Device (was lspci run with -vmmn?)";
        record.clear();
    };
    ForEachLine(text, [&](std::string_view line, int number, std::size_t) {
        const std::size_t colon = line.find(':');
        if (TrimBlanks(line).empty() || colon == std::string_view::npos) return finish();
        if (record.empty()) recordLine = number;
        record[std::string(TrimBlanks(line.substr(0, colon)))] =
            std::string(TrimBlanks(line.substr(colon + 1)));
    });
    finish();
    return error->empty();
}

// [dddd:]bb:dd.f, as lspci prints a function's address.
std::size_t PciSlotLength(std::string_view line) {
    std::size_t at = 0;
    if (IsHexRun(line, 0, 4) && line.size() > 4 && line[4] == ':') at = 5;
    const bool slot = IsHexRun(line, at, 2) && line.size() > at + 7 && line[at + 2] == ':' &&
                      IsHexRun(line, at + 3, 2) && line[at + 5] == '.' && IsHex(line[at + 6]);
    return slot && (line.size() == at + 7 || IsBlank(line[at + 7])) ? at + 7 : 0;
}

// The last "vvvv:dddd" in a line of lspci -n or -nn, as a pair of numbers.
bool LastIdPair(std::string_view text, unsigned* first, unsigned* second) {
    for (std::size_t at = text.size(); at-- > 0;) {
        if (text[at] != ':' || at < 4 || !IsHexRun(text, at - 4, 4) || !IsHexRun(text, at + 1, 4))
            continue;
        const bool alone =
            (at == 4 || !IsHex(text[at - 5])) && (at + 5 == text.size() || !IsHex(text[at + 5]));
        if (!alone) continue;
        ParseHex(text.substr(at - 4, 4), first);
        ParseHex(text.substr(at + 1, 4), second);
        return true;
    }
    return false;
}

// The quoted fields and -r/-p options of an lspci -nmm line after the slot.
bool ParseMachineLine(std::string_view rest, unsigned id[5]) {
    std::vector<std::string_view> quoted;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '"') {
            const std::size_t close = rest.find('"', i + 1);
            if (close == std::string_view::npos) return false;
            quoted.push_back(rest.substr(i + 1, close - i - 1));
            i = close;
        } else if (rest.compare(i, 2, "-r") == 0 && (i == 0 || IsBlank(rest[i - 1]))) {
            std::size_t end = i + 2;
            while (end < rest.size() && !IsBlank(rest[end])) ++end;
            if (!ParseHex(rest.substr(i + 2, end - i - 2), &id[4])) return false;
            i = end;
        }
    }
    // Class, vendor, device, then the subsystem vendor and device, either
    // empty when the function has none.
    if (quoted.size() < 3 || !ParseHex(quoted[1], &id[0]) || !ParseHex(quoted[2], &id[1]))
        return false;
    if (quoted.size() >= 5 && !quoted[3].empty()) ParseHex(quoted[3], &id[2]);
    if (quoted.size() >= 5 && !quoted[4].empty()) ParseHex(quoted[4], &id[3]);
    return true;
}

// lspci -n (with -v, its Subsystem lines), -nn and -nmm: one line a
// function, starting with its address.
bool ReadLspciLines(std::string_view text, Collector& c, std::string* format, std::string* error) {
    unsigned id[5] = {0, 0, 0, 0, 0};
    int recordLine = 0;
    bool verbose = false;
    bool machine = false;
    auto finish = [&]() {
        if (recordLine > 0) c.Name(SubkeyName(id[0], id[1], id[2], id[3], id[4]), recordLine);
        recordLine = 0;
    };
    ForEachLine(text, [&](std::string_view line, int number, std::size_t) {
        if (!error->empty() || TrimBlanks(line).empty() || line.front() == '#') return;
        if (IsBlank(line.front())) {
            verbose = true;
            const std::string_view field = TrimBlanks(line);
            if (recordLine > 0 && StartsWithIgnoringCase(field, "Subsystem:"))
                LastIdPair(field, &id[2], &id[3]);
            return;
        }
        finish();
        const std::size_t slot = PciSlotLength(line);
        const std::string_view rest = TrimBlanks(line.substr(slot));
        std::fill(id, id + 5, 0u);
        machine = slot > 0 && !rest.empty() && rest.front() == '"';
        const bool read =
            slot > 0 && (machine ? ParseMachineLine(rest, id)
                                 : LastIdPair(rest.substr(rest.find(':') + 1), &id[0], &id[1]));
        if (!read) {
            *error = "line " + std::to_string(number) +
                     " is no lspci line with numeric IDs; run lspci with -n (or -nmm, -vmmn)";
            return;
        }
        const std::size_t rev = rest.find("(rev ");
        if (!machine && rev != std::string_view::npos) ParseHex(rest.substr(rev + 5, 2), &id[4]);
        recordLine = number;
    });
    finish();
    if (!error->empty()) return false;
    *format = machine ? "lspci -nmm" : verbose ? "lspci -nv" : "lspci -n";
    if (!machine && !verbose)
        c.Warn("no-subsystem", 0,
               "lspci -n shows no subsystem IDs, so SUBSYS_00000000 is assumed in every name; "
               "lspci -nv, -nmm or -vmmn shows them");
    return true;
}

// How many functions an lspci listing holds: records starting "Slot:", or
// lines flush left.
std::size_t CountFunctions(std::string_view text, bool records) {
    std::size_t count = 0;
    ForEachLine(text, [&](std::string_view line, int, std::size_t) {
        if (records ? StartsWithIgnoringCase(line, "Slot:") : !line.empty() && !IsBlank(line[0]))
            ++count;
    });
    return count;
}

// lspci -vmmn records, or one line a function: the names are made from
// numbers, each the length of a subkey name, and the text goes when read.
bool ReadLspci(std::string text, Collector& c, std::string* format, std::string* error) {
    const bool records = StartsWithIgnoringCase(FirstLine(text), "Slot:");
    c.ReserveText(CountFunctions(text, records) * kNameTemplate.size());
    if (!records) return ReadLspciLines(text, c, format, error);
    *format = "lspci -vmmn";
    return ReadLspciRecords(text, c, error);
}

// A pasted device instance path (PCI\VEN_...\3&2411e6fe&0&F8) stands for its
// subkey name.
bool ReadNames(std::string owned, Collector& c, std::string*, std::string*) {
    ForEachLine(c.Adopt(std::move(owned)), [&](std::string_view line, int number, std::size_t) {
        line = TrimBlanks(line);
        if (line.empty() || line.front() == '#') return;
        if ((line.front() == 'P' || line.front() == 'p') && StartsWithIgnoringCase(line, "PCI\\")) {
            line.remove_prefix(4);
            line = line.substr(0, line.find('\\'));
        }
        c.Name(line, number);
    });
    return true;
}

// The formats, in the order they are told apart by the first line that is
// neither blank nor a comment; the last takes any text. A new format is a
// row here and its reader.
struct Format {
    DeviceFormatInfo info;
    bool (*detect)(std::string_view firstLine);
    // Takes the text over; a narrower format name may be set, and an error
    // when no names can be read.
    bool (*read)(std::string text, Collector& c, std::string* format, std::string* error);
};

constexpr Format kFormats[] = {
    {{"reg export",
      "of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI, REGEDIT4 or Windows "
      "Registry Editor 5.00",
      true},
     [](std::string_view first) {
         return first == "REGEDIT4" ||
                StartsWithIgnoringCase(first, "Windows Registry Editor Version");
     },
     ReadRegExport},
    {{"reg query", "what reg query HKLM\\SYSTEM\\CurrentControlSet\\Enum\\PCI prints", true},
     IsRegQueryKeyLine,
     ReadRegQuery},
    {{"lspci",
      "what lspci -n, -nv, -nmm or -vmmn prints; lspci -n alone shows no subsystem IDs, and "
      "SUBSYS_00000000 is assumed",
      false},
     [](std::string_view first) {
         return StartsWithIgnoringCase(first, "Slot:") || PciSlotLength(first) > 0;
     },
     ReadLspci},
    {{"subkey names",
      "VEN_hhhh&DEV_hhhh&SUBSYS_hhhhhhhh&REV_hh, one a line (# starts a comment; "
      "PCI\\NAME\\INSTANCE stands for NAME)",
      false},
     [](std::string_view) { return true; },
     ReadNames},
};

// Windows tools write "Unicode" as UTF-16LE, with a byte-order mark or,
// from some, without one; then every other byte is NUL for the ASCII text
// of a device file.
enum class Encoding { Ansi, Utf8, Utf16Le, Utf16Be };

Encoding DetectEncoding(std::string_view bytes, std::size_t* skip) {
    *skip = 2;
    if (bytes.substr(0, 2) == "\xFF\xFE") return Encoding::Utf16Le;
    if (bytes.substr(0, 2) == "\xFE\xFF") return Encoding::Utf16Be;
    *skip = 3;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return Encoding::Utf8;
    *skip = 0;
    switch (UnmarkedUtf16(bytes)) {
        case ByteOrder::Little:
            return Encoding::Utf16Le;
        case ByteOrder::Big:
            return Encoding::Utf16Be;
        default:
            return Encoding::Ansi;
    }
}

// The lines of the first characters the code page lacks are named; past
// those, only a count.
void WarnSubstituted(const AnsiText& ansi, int codePage, Collector& c) {
    if (ansi.substitutedCount == 0) return;
    std::size_t next = 0;
    Collector::Counted named;
    ForEachLine(ansi.text, [&](std::string_view line, int number, std::size_t start) {
        const std::size_t end = start + line.size();
        if (next >= ansi.substituted.size() || ansi.substituted[next] > end) return;
        while (next < ansi.substituted.size() && ansi.substituted[next] <= end) ++next;
        c.LineWarning(&named, "unconvertible", number,
                      "characters code page " + std::to_string(codePage) +
                          " lacks became '?': " + ShortVisible(line));
    });
    if (ansi.substitutedCount > ansi.substituted.size())
        c.Warn("unconvertible", 0,
               std::to_string(ansi.substitutedCount) + " characters in all became '?'");
}

}  // namespace

std::string SubkeyName(unsigned vendor, unsigned device, unsigned subsystemVendor,
                       unsigned subsystemDevice, unsigned revision) {
    char name[64];
    std::snprintf(name, sizeof name, "VEN_%04X&DEV_%04X&SUBSYS_%04X%04X&REV_%02X", vendor & 0xFFFF,
                  device & 0xFFFF, subsystemDevice & 0xFFFF, subsystemVendor & 0xFFFF,
                  revision & 0xFF);
    return name;
}

bool IsSubkeyName(std::string_view name) {
    if (name.size() != kNameTemplate.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool upperHex = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
        if (kNameTemplate[i] == '#' ? !upperHex : c != kNameTemplate[i]) return false;
    }
    return true;
}

std::vector<std::string> HardwareIdsOf(std::string_view name) {
    const std::string id = "PCI\\" + std::string(name);
    if (!IsSubkeyName(name)) return {id};
    return HardwareIdForms(id);
}

std::vector<DeviceFormatInfo> DeviceFormats() {
    std::vector<DeviceFormatInfo> infos;
    for (const Format& format : kFormats) infos.push_back(format.info);
    return infos;
}

DeviceList ParseDeviceFile(std::string bytes, int codePage, const std::string& file) {
    Collector c(file);
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        return c.Fail("device file", "larger than 4 GiB");
    if (bytes.empty()) return c.Fail("device file", "empty");
    std::size_t skip = 0;
    const Encoding encoding = DetectEncoding(bytes, &skip);
    std::string suffix;
    AnsiText ansi;
    std::string_view text = std::string_view(bytes).substr(skip);
    if (encoding != Encoding::Ansi) {
        const bool wide = encoding != Encoding::Utf8;
        const char* name = encoding == Encoding::Utf8      ? "UTF-8"
                           : encoding == Encoding::Utf16Le ? "UTF-16LE"
                                                           : "UTF-16BE";
        if (wide && text.size() % 2 != 0)
            return c.Fail(name, "UTF-16 text with an odd number of bytes (cut short?)");
        ansi = ToAnsi(text,
                      wide ? (encoding == Encoding::Utf16Le ? Unicode::Utf16Le : Unicode::Utf16Be)
                           : Unicode::Utf8,
                      codePage);
        if (!ansi.error.empty()) return c.Fail(name, ansi.error);
        std::string().swap(bytes);
        text = ansi.text;
        suffix = std::string(", ") + name + (skip == 0 ? " without byte-order mark" : "") +
                 " read in code page " + std::to_string(codePage);
    }
    if (text.find('\0') != std::string_view::npos)
        return c.Fail("binary data", "NUL bytes: not a text file");
    WarnSubstituted(ansi, codePage, c);
    // A place for each line that can hold a name, though never more than
    // one for every eight bytes of text.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    c.Reserve(std::min(lines, text.size() / 8 + 1));

    const std::string_view first = FirstLine(text);
    const Format* format = std::begin(kFormats);
    while (!format->detect(first)) ++format;
    std::string name = format->info.name;
    std::string error;
    const bool read = format->read(
        encoding == Encoding::Ansi ? std::move(bytes) : std::move(ansi.text), c, &name, &error);
    if (!read) return c.Fail(name, error);
    return c.Finish(name + suffix, format->info.looseNames);
}

namespace {

bool ReadSysfsNumber(const std::string& dir, const char* file, unsigned* value) {
    std::string bytes;
    std::string error;
    if (!ReadFileBytes(JoinPath(dir, file), &bytes, &error)) return false;
    while (!bytes.empty() && (bytes.back() == '\n' || IsBlank(bytes.back()))) bytes.pop_back();
    return ParseHex(bytes, value);
}

}  // namespace

DeviceList ReadSysfsDevices(const std::string& root) {
    const std::string format = "sysfs, " + root;
    Collector c(root);
    std::vector<std::string> functions;
    if (!ListDirectory(root, &functions)) {
        DeviceList failed = c.Fail(format, "cannot list " + root);
        failed.failure = DevicesFailure::NoNames;
        return failed;
    }
    int number = 0;
    for (const std::string& function : functions) {
        const std::string dir = JoinPath(root, function);
        unsigned id[5] = {0, 0, 0, 0, 0};
        ++number;
        if (!ReadSysfsNumber(dir, "vendor", &id[0]) || !ReadSysfsNumber(dir, "device", &id[1]))
            continue;
        ReadSysfsNumber(dir, "subsystem_vendor", &id[2]);
        ReadSysfsNumber(dir, "subsystem_device", &id[3]);
        ReadSysfsNumber(dir, "revision", &id[4]);
        c.Name(SubkeyName(id[0], id[1], id[2], id[3], id[4]), number);
    }
    DeviceList list = c.Finish(format);
    if (list.failure == DevicesFailure::None) return list;
    list.error = "no PCI function under " + root;
    list.failure = DevicesFailure::NoNames;
    return list;
}

}  // namespace pkgcheck
