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

#include "pkgcheck/inf/InfFields.h"
#include "pkgcheck/inf/InfText.h"
#include "platform/ToolPlatform.h"

namespace launcher::testing {

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// An INF the fake setup library has open: pkgcheck's reader, which takes
// quotes, %strkey% tokens and comments as Windows does.
struct OpenedInf {
    explicit OpenedInf(const std::string& text) : document(text), fields(document.File()) {}
    pkgcheck::InfDocument document;
    pkgcheck::InfFields fields;
};

inline InfLine ToLine(InfHandle inf, const payload::InfPlace& place) {
    // The INF the line belongs to goes first, as the setup library keeps it.
    return {inf, place.a, place.c, place.d};
}

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
        open_.push_back(std::make_unique<OpenedInf>(it->second));
        ++infsOpen;
        return open_.back().get();
    }
    void CloseInf(InfHandle) override { --infsOpen; }

    bool FindFirstLine(InfHandle inf, const char* section, const char* key,
                       InfLine* line) override {
        payload::InfPlace place;
        if (!Fields(inf).FirstLine(section, key, &place)) return false;
        *line = ToLine(inf, place);
        return true;
    }
    bool FindNextLine(InfLine* line) override {
        payload::InfPlace place = Place(*line);
        if (!Fields(line->inf).NextLine(&place)) return false;
        *line = ToLine(line->inf, place);
        return true;
    }
    bool FindNextMatchLine(InfLine* line, const char* key) override {
        payload::InfPlace place = Place(*line);
        if (!Fields(line->inf).NextMatchLine(&place, key)) return false;
        *line = ToLine(line->inf, place);
        return true;
    }
    unsigned FieldCount(const InfLine& line) override {
        return Fields(line.inf).FieldCount(Place(line));
    }
    bool Field(const InfLine& line, unsigned index, ByteString& text) override {
        pkgcheck::InfFields& fields = Fields(line.inf);
        lastSetupError_ = !fields.Field(Place(line), index, text) ? fields.LastError()
                          : fieldError != 0                       ? fieldError
                                                                  : 0;
        return lastSetupError_ == 0;
    }
    bool HasSection(InfHandle inf, const char* section) override {
        return Fields(inf).HasSection(section);
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
    static pkgcheck::InfFields& Fields(InfHandle inf) {
        return static_cast<OpenedInf*>(inf)->fields;
    }
    static payload::InfPlace Place(const InfLine& line) {
        return {line.currentInf, nullptr, line.section, line.line};
    }

    std::vector<std::unique_ptr<OpenedInf>> open_;
    std::uint32_t lastSetupError_ = 0;
};

}  // namespace launcher::testing
