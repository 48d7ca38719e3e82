#pragma once
// A scripted machine for the installer tool: its command line, files and
// setup-information texts, the setup library's answers about them, and a
// record of the install.

#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ToolPlatform.h"

namespace launcher::testing {

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A setup-information text read as the setup library reads it, without
// string keys: "[Section]" lines, then "key=a,b" or "a,b" lines.
struct FakeInf {
    using Fields = std::vector<std::string>;              // [0] the key, or the first value
    std::map<std::string, std::vector<Fields>> sections;  // by lower-case name

    explicit FakeInf(const std::string& text) {
        std::vector<Fields>* section = nullptr;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            if (line.empty()) continue;
            if (line[0] == '[') {
                section = &sections[Lower(line.substr(1, line.find(']') - 1))];
                continue;
            }
            const std::size_t eq = line.find('=');
            Fields fields{eq == std::string::npos ? "" : line.substr(0, eq)};
            std::string rest = eq == std::string::npos ? line : line.substr(eq + 1);
            for (std::size_t from = 0;;) {
                const std::size_t comma = rest.find(',', from);
                fields.push_back(rest.substr(from, comma - from));
                if (comma == std::string::npos) break;
                from = comma + 1;
            }
            if (eq == std::string::npos) fields[0] = fields[1];
            if (section) section->push_back(fields);
        }
    }
    const std::vector<Fields>* Section(const std::string& name) const {
        auto it = sections.find(Lower(name));
        return it == sections.end() ? nullptr : &it->second;
    }
};

class FakeToolPlatform : public ToolPlatform {
public:
    // --- script ---
    std::string commandLine = "install.exe";
    bool wow64 = false;
    std::string architecture = "x86";
    bool windowFails = false;
    bool librariesMissing = false;
    std::map<std::string, std::string> infs;  // by path
    std::set<std::string> files;              // paths, letter case aside (lower-case)
    std::uint32_t installError = 0;
    bool restartNeeded = false;
    bool restartChosen = false;
    std::uint32_t fieldError = 0;  // nonzero: every field read fails with it
    // The answers of the test for Windows' own installs, the last one
    // repeated; none: the system cannot tell.
    std::vector<std::uint32_t> pendingResults;
    bool administrator = true;

    // --- record ---
    std::vector<std::string> events;

    void AddFile(const std::string& path) { files.insert(Lower(path)); }

    // --- ToolPlatform ---
    const char* CommandLine() override { return commandLine.c_str(); }
    bool RunsUnderWow64() override { return wow64; }
    const char* Architecture() override { return architecture.c_str(); }
    int RunWithWindow(const char* title, ToolWork& work, int failed) override {
        if (windowFails) return failed;
        events.push_back(std::string("window ") + title);
        const int result = work.Run();
        events.push_back("window gone");
        return result;
    }
    bool LoadSetupLibraries() override { return !librariesMissing; }

    InfHandle OpenInf(const char* path, unsigned* errorLine, std::uint32_t* error) override {
        auto it = infs.find(path);
        if (it == infs.end()) {
            *errorLine = 3;
            *error = 0xE0000003u;
            return nullptr;
        }
        open_.push_back(std::make_unique<FakeInf>(it->second));
        ++infsOpen;
        return open_.back().get();
    }
    void CloseInf(InfHandle) override { --infsOpen; }

    bool FindFirstLine(InfHandle inf, const char* section, const char* key,
                       InfLine* line) override {
        const auto* lines = static_cast<FakeInf*>(inf)->Section(section);
        if (!lines) return false;
        *line = {inf, const_cast<std::vector<FakeInf::Fields>*>(lines), 0, 0};
        return Seek(line, key);
    }
    bool FindNextLine(InfLine* line) override {
        ++line->line;
        return line->line < Lines(*line).size();
    }
    bool FindNextMatchLine(InfLine* line, const char* key) override {
        ++line->line;
        return Seek(line, key);
    }
    unsigned FieldCount(const InfLine& line) override {
        return static_cast<unsigned>(Lines(line)[line.line].size() - 1);
    }
    bool Field(const InfLine& line, unsigned index, ByteString& text) override {
        const auto& fields = Lines(line)[line.line];
        lastSetupError_ = index >= fields.size()        ? kErrorInvalidParameter
                          : fieldError != 0             ? fieldError
                          : !text.Assign(fields[index]) ? kErrorNotEnoughMemory
                                                        : 0;
        return lastSetupError_ == 0;
    }
    bool ActualInstallSection(InfHandle inf, const char* section, ByteString& actual) override {
        const FakeInf& f = *static_cast<FakeInf*>(inf);
        std::string chosen = section;
        for (const std::string& suffix : {".NT" + architecture, std::string(".NT"), std::string()})
            if (f.Section(section + suffix)) {
                chosen += suffix;
                break;
            }
        lastSetupError_ = actual.Assign(chosen) ? 0 : kErrorNotEnoughMemory;
        return lastSetupError_ == 0;
    }

    std::uint32_t LastSetupError() override { return lastSetupError_; }
    bool TestPendingInstalls(std::uint32_t* result) override {
        events.push_back("pending installs?");
        if (pendingResults.empty()) return false;
        *result = pendingResults.front();
        if (pendingResults.size() > 1) pendingResults.erase(pendingResults.begin());
        return true;
    }
    bool UserIsAdministrator() override { return administrator; }
    bool IsFile(const char* path) override { return files.count(Lower(path)) != 0; }

    std::uint32_t InstallDriver(const char* hardwareId, const char* infPath,
                                bool* restart) override {
        events.push_back(std::string("install ") + hardwareId + " " + infPath);
        *restart = restartNeeded;
        return installError;
    }
    bool PromptRestart() override {
        events.push_back("restart?");
        return restartChosen;
    }
    bool ErrorDescription(std::uint32_t code, ByteString& text) override {
        return code == 87 && text.Assign("The parameter is incorrect.");
    }

    // --- the hand-off ---
    std::uint32_t programError = 0;   // what starting a program fails with
    std::uint32_t programStatus = 0;  // the exit status it ends with
    std::uint32_t RunProgram(const char* path, char* line, std::uint32_t* exitStatus) override {
        events.push_back(std::string("run ") + path + " | " + line);
        *exitStatus = programStatus;
        return programError;
    }

    int infsOpen = 0;

private:
    static const std::vector<FakeInf::Fields>& Lines(const InfLine& line) {
        return *static_cast<const std::vector<FakeInf::Fields>*>(line.currentInf);
    }
    static bool Seek(InfLine* line, const char* key) {
        const auto& lines = Lines(*line);
        for (; line->line < lines.size(); ++line->line)
            if (!key || Lower(lines[line->line][0]) == Lower(key)) return true;
        return false;
    }

    static constexpr std::uint32_t kErrorNotEnoughMemory = 8;
    static constexpr std::uint32_t kErrorInvalidParameter = 87;

    std::vector<std::unique_ptr<FakeInf>> open_;
    std::uint32_t lastSetupError_ = 0;
};

}  // namespace launcher::testing
