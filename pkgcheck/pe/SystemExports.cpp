#include "pkgcheck/pe/SystemExports.h"

#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "pkgcheck/read/Text.h"

namespace pkgcheck {

extern const char kSystemExportsTsv[];
extern const char kSystemDllsTsv[];

namespace {

constexpr const char* kSystemNames[kWindowsSystemCount] = {
    "Windows 2000 SP4", "XP RTM", "XP SP1", "XP SP2", "XP SP3", "XP x64 / Server 2003 x64"};
constexpr const char* kHeader =
    "dll\tfunction\t2000 SP4\tXP RTM\tXP SP1\tXP SP2\tXP SP3\tXP x64\tsource";
constexpr std::size_t kFields = 3 + kWindowsSystemCount;
constexpr const char* kDllListHeader = "dll\tsource";

std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string FunctionKey(std::string_view dll, std::string_view function) {
    return LoaderDllName(dll) + '\n' + std::string(function);
}

class Tables {
public:
    Tables() {
        ForEachRow(kSystemExportsTsv, kHeader, "SystemExports.tsv",
                   [this](std::string_view line, const std::string& where) { Add(line, where); });
        ForEachRow(kSystemDllsTsv, kDllListHeader, "SystemDlls.tsv",
                   [this](std::string_view line, const std::string& where) {
                       const std::vector<std::string_view> f = Split(line, '\t');
                       if (f.size() != 2 || f[0].empty() || f[1].empty())
                           problems.push_back(where + "not a DLL and its source");
                       else if (!systemDlls.insert(LoaderDllName(f[0])).second ||
                                dlls.count(LoaderDllName(f[0])))
                           problems.push_back(where + "listed twice");
                   });
        // A DLL whose functions the table names is one of the two lists'.
        for (const auto& [key, row] : functions) {
            const std::string dll = key.substr(0, key.find('\n'));
            if (!systemDlls.count(dll) && !dlls.count(dll))
                problems.push_back(dll + " has functions in SystemExports.tsv but is on no list");
        }
    }

    std::unordered_map<std::string, Availability> dlls;  // by LoaderDllName
    std::vector<std::pair<std::string, Availability>> prefixes;
    std::unordered_map<std::string, Availability> functions;  // by FunctionKey
    std::unordered_set<std::string> systemDlls;               // by LoaderDllName
    std::vector<std::string> problems;

private:
    // Calls add(line, "FILE line N: ") for each line after the header.
    template <typename AddRow>
    void ForEachRow(std::string_view tsv, std::string_view header, const char* file, AddRow add) {
        bool headerSeen = false;
        int number = 0;
        for (std::string_view line : Split(tsv, '\n')) {
            ++number;
            if (line.empty() || line[0] == '#') continue;
            if (headerSeen)
                add(line, std::string(file) + " line " + std::to_string(number) + ": ");
            else if (line != header)
                problems.push_back(std::string(file) + ": the header is not " +
                                   std::string(header));
            headerSeen = true;
        }
    }

    void Add(std::string_view line, const std::string& where) {
        const std::vector<std::string_view> f = Split(line, '\t');
        if (f.size() != kFields || f[0].empty() || f[1].empty() || f[kFields - 1].empty()) {
            problems.push_back(where + "not " + std::to_string(kFields) + " filled fields");
            return;
        }
        Availability row{0, std::string(f[kFields - 1])};
        for (int s = 0; s < kWindowsSystemCount; ++s) {
            const std::string_view cell = f[2 + static_cast<std::size_t>(s)];
            if (cell == "missing")
                row.missing |= Bit(static_cast<WindowsSystem>(s));
            else if (cell != "present")
                problems.push_back(where + "\"" + std::string(cell) +
                                   "\" is neither present nor missing");
        }
        const bool inserted = f[1] != "*" ? functions.emplace(FunctionKey(f[0], f[1]), row).second
                              : f[0].back() == '*'
                                  ? AddPrefix(LowerAscii(f[0].substr(0, f[0].size() - 1)), row)
                                  : dlls.emplace(LoaderDllName(f[0]), row).second;
        if (!inserted) problems.push_back(where + "listed twice");
    }

    bool AddPrefix(std::string prefix, const Availability& row) {
        for (const auto& p : prefixes)
            if (p.first == prefix) return false;
        prefixes.emplace_back(std::move(prefix), row);
        return true;
    }
};

const Tables& TheTables() {
    static const Tables tables;
    return tables;
}

}  // namespace

const char* WindowsSystemName(WindowsSystem system) {
    return kSystemNames[static_cast<int>(system)];
}

std::string LoaderDllName(std::string_view dll) {
    std::string name = LowerAscii(dll);
    if (!name.empty() && name.back() == '.')
        name.pop_back();  // a final dot keeps the loader from adding ".dll"
    else if (name.find('.') == std::string::npos)
        name += ".dll";
    return name;
}

Availability DllAvailability(std::string_view dll) {
    const Tables& tables = TheTables();
    const std::string name = LoaderDllName(dll);
    const auto found = tables.dlls.find(name);
    if (found != tables.dlls.end()) return found->second;
    for (const auto& [prefix, row] : tables.prefixes)
        if (name.compare(0, prefix.size(), prefix) == 0) return row;
    return {};
}

Availability FunctionAvailability(std::string_view dll, std::string_view function) {
    const Tables& tables = TheTables();
    const auto found = tables.functions.find(FunctionKey(dll, function));
    return found != tables.functions.end() ? found->second : Availability{};
}

bool IsSystemDll(std::string_view dll) {
    return TheTables().systemDlls.count(LoaderDllName(dll)) > 0;
}

std::vector<std::string> SystemTableProblems() { return TheTables().problems; }

}  // namespace pkgcheck
