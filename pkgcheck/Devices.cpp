#include "pkgcheck/Devices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "pkgcheck/Files.h"
#include "pkgcheck/Text.h"

namespace pkgcheck {
namespace {

constexpr std::string_view kEnumPci = "\\Enum\\PCI\\";

bool ParseHex(std::string_view text, unsigned* value) {
    // lspci -vmmnn writes "Intel Corporation [8086]"; the number is in brackets.
    const std::size_t open = text.rfind('[');
    if (open != std::string_view::npos && text.back() == ']')
        text = text.substr(open + 1, text.size() - open - 2);
    if (StartsWithIgnoringCase(text, "0x")) text.remove_prefix(2);
    if (text.empty() || text.size() > 8) return false;
    const std::string digits(text);
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(digits.c_str(), &end, 16);
    if (*end != '\0') return false;
    *value = static_cast<unsigned>(parsed);
    return true;
}

DeviceList Failed(std::string format, std::string error) {
    DeviceList list;
    list.format = std::move(format);
    list.error = std::move(error);
    return list;
}

DeviceList Sorted(std::string format, std::vector<std::string> names, const std::string& none) {
    if (names.empty()) return Failed(std::move(format), none);
    SortAsRegistry(&names);
    DeviceList list;
    list.format = std::move(format);
    list.names = std::move(names);
    list.sortedHere = true;
    return list;
}

// Only the direct subkeys of Enum\PCI are what the launcher enumerates; the
// device instances below them are not.
DeviceList ParseRegExport(const std::vector<std::string_view>& lines, std::string format) {
    std::vector<std::string> names;
    for (std::string_view line : lines) {
        line = TrimBlanks(line);
        if (line.size() < 2 || line.front() != '[' || line.back() != ']' || line[1] == '-')
            continue;
        const std::string_view path = line.substr(1, line.size() - 2);
        const std::size_t at = FindIgnoringCase(path, kEnumPci);
        if (at == std::string_view::npos) continue;
        const std::string_view rest = path.substr(at + kEnumPci.size());
        if (!rest.empty() && rest.find('\\') == std::string_view::npos) names.emplace_back(rest);
    }
    return Sorted(std::move(format), std::move(names),
                  "no direct subkey of HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI "
                  "in the export");
}

// One lspci record's fields by name ("Vendor", "SDevice"...).
using Record = std::map<std::string, std::string>;

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

DeviceList ParseLspci(const std::vector<std::string_view>& lines) {
    std::vector<std::string> names;
    Record record;
    int recordLine = 0;
    for (std::size_t i = 0; i <= lines.size(); ++i) {
        const std::string_view line = i < lines.size() ? lines[i] : std::string_view();
        const std::size_t colon = line.find(':');
        if (!TrimBlanks(line).empty() && colon != std::string_view::npos) {
            if (record.empty()) recordLine = static_cast<int>(i + 1);
            record[std::string(TrimBlanks(line.substr(0, colon)))] =
                std::string(TrimBlanks(line.substr(colon + 1)));
            continue;
        }
        if (record.empty()) continue;
        std::string name;
        if (!NameOfRecord(record, &name))
            return Failed("lspci -vmmn", "the record on line " + std::to_string(recordLine) +
                                             " has no hexadecimal Vendor and Device "
                                             "(was lspci run with -vmmn?)");
        names.push_back(name);
        record.clear();
    }
    return Sorted("lspci -vmmn", std::move(names), "no PCI function in the lspci output");
}

// A pasted device instance path (PCI\VEN_...\3&2411e6fe&0&F8) stands for its
// subkey name.
DeviceList ParseNames(const std::vector<std::string_view>& lines) {
    std::vector<std::string> names;
    for (std::string_view line : lines) {
        if (line.empty() || line.front() == '#') continue;
        if (StartsWithIgnoringCase(line, "PCI\\")) {
            line.remove_prefix(4);
            line = line.substr(0, line.find('\\'));
        }
        names.emplace_back(line);
    }
    return Sorted("subkey names", std::move(names), "no device names in the file");
}

bool ReadSysfsNumber(const std::string& dir, const char* file, unsigned* value) {
    std::string bytes;
    std::string error;
    if (!ReadFileBytes(JoinPath(dir, file), &bytes, &error)) return false;
    while (!bytes.empty() && (bytes.back() == '\n' || IsBlank(bytes.back()))) bytes.pop_back();
    return ParseHex(bytes, value);
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

void SortAsRegistry(std::vector<std::string>* names) {
    std::stable_sort(names->begin(), names->end(), [](const std::string& a, const std::string& b) {
        return PrecedesInRegistry(a, b);
    });
    names->erase(std::unique(names->begin(), names->end(),
                             [](const std::string& a, const std::string& b) {
                                 return EqualsIgnoringCase(a, b);
                             }),
                 names->end());
}

DeviceList ParseDeviceFile(std::string_view bytes) {
    const DecodedText decoded = DecodeText(bytes);
    if (!decoded.error.empty()) return Failed(decoded.encoding, decoded.error);
    const std::vector<std::string_view> lines = SplitLines(decoded.text);
    const auto first = std::find_if(lines.begin(), lines.end(),
                                    [](std::string_view l) { return !TrimBlanks(l).empty(); });
    const std::string_view head = first == lines.end() ? "" : TrimBlanks(*first);
    if (head == "REGEDIT4") return ParseRegExport(lines, "reg export (REGEDIT4)");
    if (StartsWithIgnoringCase(head, "Windows Registry Editor Version"))
        return ParseRegExport(lines, "reg export (" + std::string(head) + ")");
    if (StartsWithIgnoringCase(head, "Slot:")) return ParseLspci(lines);
    return ParseNames(lines);
}

DeviceList ReadSysfsDevices(const std::string& root) {
    std::vector<std::string> functions;
    if (!ListDirectory(root, &functions)) return Failed("sysfs", "cannot list " + root);
    std::vector<std::string> names;
    for (const std::string& function : functions) {
        const std::string dir = JoinPath(root, function);
        unsigned id[5] = {0, 0, 0, 0, 0};
        if (!ReadSysfsNumber(dir, "vendor", &id[0]) || !ReadSysfsNumber(dir, "device", &id[1]))
            continue;
        ReadSysfsNumber(dir, "subsystem_vendor", &id[2]);
        ReadSysfsNumber(dir, "subsystem_device", &id[3]);
        ReadSysfsNumber(dir, "revision", &id[4]);
        names.push_back(SubkeyName(id[0], id[1], id[2], id[3], id[4]));
    }
    return Sorted("this machine (" + root + ")", std::move(names), "no PCI function under " + root);
}

}  // namespace pkgcheck
