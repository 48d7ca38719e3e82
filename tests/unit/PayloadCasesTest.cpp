// Every package of tests/payload-cases/ through the installer tool's payload
// check and pkgcheck's: both must name the files that windows.txt says
// Windows does not find, for the systems it names.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "installtool/Payload.h"
#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/package/Payload.h"
#include "tests/unit/FakePlatform.h"
#include "tests/unit/FakeToolPlatform.h"

namespace installtool {
namespace {

namespace fs = std::filesystem;
using Said = std::set<std::string>;

constexpr const char* kDevice = "PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02";
constexpr const char* kRoot = "C:\\pkg\\";

struct Case {
    std::string name;
    fs::path dir;
    std::vector<std::string> systems;
    Said windows;  // what windows.txt says
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const auto& entry : fs::directory_iterator(PAYLOAD_CASES_DIR)) {
        if (!entry.is_directory()) continue;
        Case c{entry.path().filename().string(), entry.path(), {}, {}};
        std::istringstream lines(ReadAll(entry.path() / "windows.txt"));
        for (std::string line; std::getline(lines, line);) {
            if (line.empty() || line[0] == '#') continue;
            if (line.rfind("systems ", 0) == 0) {
                std::istringstream words(line.substr(8));
                for (std::string w; words >> w;) c.systems.push_back(w);
            } else {
                c.windows.insert(line);
            }
        }
        cases.push_back(std::move(c));
    }
    std::sort(cases.begin(), cases.end(),
              [](const Case& a, const Case& b) { return a.name < b.name; });
    return cases;
}

// The package at C:\pkg\ on the fake machine.
void Install(const Case& c, launcher::testing::FakeToolPlatform& tool) {
    for (const auto& entry : fs::recursive_directory_iterator(c.dir)) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), c.dir).string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        tool.AddFile(kRoot + relative);
    }
    tool.infs[std::string(kRoot) + "drv\\stordrv.inf"] = ReadAll(c.dir / "drv" / "stordrv.inf");
}

// What the tool's box names, in windows.txt's words.
Said ToolSays(const Case& c, const std::string& system) {
    launcher::testing::FakePlatform fake;
    launcher::testing::FakeToolPlatform tool;
    Install(c, tool);
    payload::OsVersion os{5, 1, 1, payload::kXpSuites};
    if (system == "2000") os = {5, 0, 1, 0};
    if (system == "xp-x64") {
        os = {5, 2, 1, 0};
        tool.architecture = "amd64";
    }
    launcher::ByteString problems(fake);
    PayloadCheck check(tool, fake, launcher::CodePage::SingleByte(), os);
    const PayloadResult result =
        check.Check((std::string(kRoot) + "drv\\stordrv.inf").c_str(), kDevice, problems);
    EXPECT_NE(result, PayloadResult::InfUnreadable) << c.name << ": " << problems.view();
    Said said;
    std::istringstream lines{std::string(problems.view())};
    const auto ends = [](const std::string& s, const std::string& tail) {
        return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
    };
    const std::size_t root = std::string(kRoot).size();
    for (std::string line; std::getline(lines, line);) {
        if (ends(line, " (the catalog) is missing."))
            said.insert("catalog-missing " + line.substr(root, line.size() - root - 26));
        else if (ends(line, " is missing."))
            said.insert("missing " + line.substr(root, line.size() - root - 12));
        else if (ends(line, " is copied but not listed in [SourceDisksFiles]."))
            said.insert("unlisted " + line.substr(0, line.find(' ')));
        else if (ends(line, " lies on a disk that [SourceDisksNames] does not list."))
            said.insert("no-disk " + line.substr(0, line.find(' ')));
        else
            said.insert("? " + line);
    }
    return said;
}

// What pkgcheck's payload stage finds, in the same words.
Said PkgcheckSays(const Case& c, bool amd64) {
    const pkgcheck::InfContents inf =
        pkgcheck::ReadInf(ReadAll(c.dir / "drv" / "stordrv.inf"), "drv\\stordrv.inf");
    const pkgcheck::Payload payload =
        pkgcheck::CheckPayload(inf, (c.dir / "drv").string(), "drv", "drv\\stordrv.inf",
                               amd64 ? pkgcheck::PayloadArch::Amd64 : pkgcheck::PayloadArch::X86);
    Said said;
    if (!inf.errors.empty()) {
        said.insert("installs-nothing");
        // The INF itself is still looked up in its catalog.
        EXPECT_TRUE(payload.catalog.has_value()) << c.name;
    }
    for (const pkgcheck::PayloadFile& file : payload.files) {
        if (file.listedIn.empty())
            said.insert("unlisted " + file.name);
        else if (file.expected.empty())
            said.insert("no-disk " + file.name);
    }
    for (const pkgcheck::Finding& error : payload.errors) {
        if (error.kind == "catalog-missing")
            said.insert("catalog-missing drv\\" + payload.catalog->name);
        if (error.kind != "payload-missing") continue;
        for (const pkgcheck::PayloadFile& file : payload.files)
            if (error.message.rfind(file.name + " (copied from", 0) == 0)
                said.insert("missing " + file.expected);
    }
    return said;
}

TEST(PayloadCases, TheToolAndPkgcheckNameWhatWindowsDoesNotFind) {
    const std::vector<Case> cases = Cases();
    ASSERT_GE(cases.size(), 10u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Said tool;
        bool amd64 = false;
        for (const std::string& system : c.systems) {
            const Said one = ToolSays(c, system);
            tool.insert(one.begin(), one.end());
            amd64 = amd64 || system == "xp-x64";
        }
        // The tool's check has no words for a package that installs nothing:
        // Windows' install then finds no driver.
        Said windowsForTool = c.windows;
        windowsForTool.erase("installs-nothing");
        EXPECT_EQ(tool, windowsForTool);
        EXPECT_EQ(PkgcheckSays(c, amd64), c.windows);
    }
}

}  // namespace
}  // namespace installtool
