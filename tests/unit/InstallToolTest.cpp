#include <gtest/gtest.h>

#include <algorithm>

#include "installtool/CommandLine.h"
#include "installtool/InstallApp.h"
#include "payload/HardwareId.h"
#include "tests/unit/FakePlatform.h"
#include "tests/unit/FakeToolPlatform.h"

namespace installtool {
namespace {

using launcher::CodePage;
using launcher::testing::FakePlatform;
using launcher::testing::FakeToolPlatform;
using payload::NamesDevice;
using payload::OsVersion;

TEST(ToolCommandLine, ReadsTheLaunchersFormsAndRefusesTheRest) {
    const struct {
        const char* line;
        ArgumentProblem problem;
        const char* inf;
        const char* id;
    } rows[] = {
        {"D:\\pkg\\install.exe D:\\pkg\\drv\\stordrv.inf \"PCI\\VEN_1&DEV_2\"",
         ArgumentProblem::None, "D:\\pkg\\drv\\stordrv.inf", "PCI\\VEN_1&DEV_2"},
        {"\"C:\\a b\\install.exe\" \"C:\\a b\\drv\\s.inf\" \"PCI\\X\"", ArgumentProblem::None,
         "C:\\a b\\drv\\s.inf", "PCI\\X"},
        // A program name in quotes takes no escapes; blanks and tabs separate.
        {"\"C:\\x\\\" \t \\\\srv\\share\\s.inf\tpci\\x", ArgumentProblem::None,
         "\\\\srv\\share\\s.inf", "pci\\x"},
        // 2n backslashes before a quote are n and the quote opens; 2n + 1 give
        // a quote; "" inside quotes is one quote.
        {"i C:\\\\\"a b\"\\ \"PCI\\\\\\\"x\"\"y\"", ArgumentProblem::None, "C:\\a b\\",
         "PCI\\\"x\"y"},
        {"install.exe", ArgumentProblem::Missing, "", ""},
        {"install.exe C:\\s.inf", ArgumentProblem::Missing, "C:\\s.inf", ""},
        {"install.exe C:\\s.inf PCI\\X extra", ArgumentProblem::Extra, "C:\\s.inf", "PCI\\X"},
        {"install.exe drv\\s.inf PCI\\X", ArgumentProblem::RelativeInf, "drv\\s.inf", "PCI\\X"},
        {"install.exe C:s.inf PCI\\X", ArgumentProblem::RelativeInf, "C:s.inf", "PCI\\X"},
        {"install.exe C:\\s.inf USB\\X", ArgumentProblem::NotPci, "C:\\s.inf", "USB\\X"},
        {"install.exe C:\\s.inf PCI\\", ArgumentProblem::NotPci, "C:\\s.inf", "PCI\\"},
    };
    for (const auto& row : rows) {
        FakePlatform fake;
        ToolArguments arguments(fake);
        EXPECT_EQ(ReadToolArguments(row.line, CodePage::SingleByte(), arguments), row.problem)
            << row.line;
        EXPECT_EQ(arguments.inf.view(), row.inf) << row.line;
        EXPECT_EQ(arguments.hardwareId.view(), row.id) << row.line;
    }
}

TEST(ToolCommandLine, DoubleByteTrailBytesAreNeitherBackslashNorQuote) {
    // In code page 932 0x95 0x5C is one character: its trail byte before a
    // quote must not escape the quote.
    FakePlatform fake;
    ToolArguments arguments(fake);
    const CodePage cp932 = CodePage::WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
    ASSERT_EQ(
        ReadToolArguments("\"C:\\\x95\x5C\\i.exe\" \"C:\\\x95\x5C\" \"PCI\\X\"", cp932, arguments),
        ArgumentProblem::None);
    EXPECT_EQ(arguments.inf.view(), "C:\\\x95\x5C");
    EXPECT_EQ(arguments.hardwareId.view(), "PCI\\X");
}

TEST(ToolCommandLine, QuotedArgumentsAreReadBackWhole) {
    const CodePage cp932 = CodePage::WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
    const struct {
        const char* inf;
        const char* id;
        const CodePage& cp;
    } rows[] = {
        {"D:\\pkg\\drv\\s.inf", "PCI\\VEN_1&DEV_2", CodePage::SingleByte()},
        {"C:\\a b\\", "PCI\\\\\"x\"\"y\\", CodePage::SingleByte()},
        // A trail byte 0x5C before the closing quote is no backslash to double.
        {"C:\\\x95\x5C", "PCI\\\x95\x5C\"", cp932},
    };
    for (const auto& row : rows) {
        FakePlatform fake;
        launcher::ByteString line(fake);
        ASSERT_TRUE(line.Assign("\"C:\\i.exe\" ") && AppendQuotedArgument(line, row.inf, row.cp) &&
                    line.Append(' ') && AppendQuotedArgument(line, row.id, row.cp));
        ToolArguments arguments(fake);
        EXPECT_EQ(ReadToolArguments(line.view(), row.cp, arguments), ArgumentProblem::None)
            << line.view();
        EXPECT_EQ(arguments.inf.view(), row.inf) << line.view();
        EXPECT_EQ(arguments.hardwareId.view(), row.id) << line.view();
    }
}

TEST(ToolModels, DeviceIdsAsWindowsMatchThem) {
    const char* device = "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02";
    for (const char* id : {"PCI\\VEN_8086&DEV_2922", "pci\\ven_8086&dev_2922&rev_02",
                           "PCI\\VEN_8086&DEV_2922&SUBSYS_B0051458", device})
        EXPECT_TRUE(NamesDevice(id, device)) << id;
    for (const char* id :
         {"PCI\\VEN_8086", "PCI\\VEN_8086&DEV_292", "PCI\\VEN_8086&DEV_2922&REV_03",
          "PCI\\VEN_8086&DEV_2922&REV_02&SUBSYS_B0051458", "PCI\\DEV_2922"})
        EXPECT_FALSE(NamesDevice(id, device)) << id;
}

// A package in C:\p\ whose INF serves each system from its own models
// section and install section; the file each copies tells which was taken.
constexpr const char* kDecoratedInf =
    "[Manufacturer]\n"
    "M=Models,NTx86.5.1,NTx86.5.1.3,NT.5.2,NT.5.2..0x80,NTx86.6.0,NTamd64\n"
    "[Models]\nD=Plain,PCI\\VEN_1&DEV_2\n"
    "[Models.NTx86.5.1]\nD=Xp,PCI\\VEN_1&DEV_2\n"
    "[Models.NTx86.5.1.3]\nD=Server,PCI\\VEN_1&DEV_2\n"
    "[Models.NT.5.2]\nD=Nt52,PCI\\VEN_1&DEV_2\n"
    "[Models.NT.5.2..0x80]\nD=Datacenter,PCI\\VEN_1&DEV_2\n"
    "[Models.NTx86.6.0]\nD=Vista,PCI\\VEN_1&DEV_2\n"
    "[Models.NTamd64]\nD=Amd64,PCI\\VEN_1&DEV_2\n"
    "[Plain]\nCopyFiles=@plain.sys\n[Xp]\nCopyFiles=@xp.sys\n[Nt52]\nCopyFiles=@nt52.sys\n"
    "[Vista]\nCopyFiles=@vista.sys\n[Amd64]\nCopyFiles=@amd64.sys\n"
    "[Server]\nCopyFiles=@server.sys\n[Datacenter]\nCopyFiles=@dc.sys\n"
    "[SourceDisksNames]\n1=Disk,,,\n"
    "[SourceDisksFiles]\nplain.sys=1\nxp.sys=1\nnt52.sys=1\nvista.sys=1\namd64.sys=1\n"
    "server.sys=1\ndc.sys=1\n";

struct PayloadRun {
    PayloadResult result;
    std::string problems;
};

PayloadRun CheckPayload(FakeToolPlatform& tool, const OsVersion& os,
                        const char* id = "PCI\\VEN_1&DEV_2&SUBSYS_00000000&REV_01") {
    FakePlatform fake;
    launcher::ByteString problems(fake);
    PayloadCheck check(tool, fake, CodePage::SingleByte(), os);
    tool.AddFile("C:\\p\\s.inf");
    const PayloadResult result = check.Check("C:\\p\\s.inf", id, problems);
    EXPECT_EQ(tool.infsOpen, 0);
    return {result, std::string(problems.view())};
}

TEST(ToolPayload, TheModelsSectionThisWindowsReadsDecidesWhatIsChecked) {
    const struct {
        OsVersion os;
        const char* architecture;
        const char* copied;
    } rows[] = {
        {{5, 0, 1}, "x86", "plain.sys"},  // 2000 reads no decorations
        {{5, 1, 1}, "x86", "xp.sys"},
        {{5, 1, 1, 0x110}, "x86", "xp.sys"},
        {{5, 1, 3}, "x86", "server.sys"},
        // A suite mask serves only where all its suites are present, and
        // there it serves better than none.
        {{5, 2, 3, 0x10}, "x86", "nt52.sys"},
        {{5, 2, 3, 0x92}, "x86", "dc.sys"},
        {{6, 0, 1}, "x86", "vista.sys"},
        {{5, 2, 1}, "amd64", "amd64.sys"},
    };
    for (const auto& row : rows) {
        FakeToolPlatform tool;
        tool.architecture = row.architecture;
        tool.infs["C:\\p\\s.inf"] = kDecoratedInf;
        const PayloadRun run = CheckPayload(tool, row.os);
        EXPECT_EQ(run.result, PayloadResult::Incomplete);
        EXPECT_EQ(run.problems, std::string("C:\\p\\") + row.copied + " is missing.\n")
            << row.copied;
    }
}

TEST(ToolPayload, FindsEachCopiedFileWhereTheSourceDisksPutIt) {
    const std::string head =
        "[Version]\nCatalogFile=s.cat\nCatalogFile.NTx86=x86.cat\n"
        "[Manufacturer]\nM=Models\n"
        "[Models]\nA=InstA,PCI\\VEN_1&DEV_2\nB=InstB,PCI\\VEN_9&DEV_9\n"
        "[InstA]\nCopyFiles=ListA,@one.sys\n[InstA.NTx86]\nCopyFiles=ListA\n"
        "[InstA.NTx86.CoInstallers]\nCopyFiles=@co.dll\n"
        "[ListA]\nnew.sys,old.sys\nsame.sys\n"
        "[InstB]\nCopyFiles=@other.sys\n"
        "[SourceDisksNames]\n1=Disk,,,\\sub\n2=Disk,,,.\n"
        "[SourceDisksFiles]\nold.sys=1,x86\nsame.sys=2\nco.dll=2\nother.sys=2\n";
    const std::vector<std::string> all = {"C:\\p\\sub\\x86\\old.sys", "C:\\p\\same.sys",
                                          "C:\\p\\co.dll", "C:\\p\\x86.cat"};
    const struct {
        std::string extra;    // INF lines appended
        const char* missing;  // one of `all` left out, or null
        const char* id;       // the device
        const char* problems;
    } rows[] = {
        {"", nullptr, nullptr, ""},
        {"", "C:\\p\\sub\\x86\\old.sys", nullptr, "C:\\p\\sub\\x86\\old.sys is missing.\n"},
        {"", "C:\\p\\x86.cat", nullptr, "C:\\p\\x86.cat (the catalog) is missing.\n"},
        // The device in no model: every install section is checked.
        {"", nullptr, "PCI\\VEN_7&DEV_7", "C:\\p\\other.sys is missing.\n"},
        {"[ListA]\nunlisted.sys\n", nullptr, nullptr,
         "unlisted.sys is copied but not listed in [SourceDisksFiles].\n"},
        {"[SourceDisksFiles.x86]\nsame.sys=3\n", nullptr, nullptr,
         "same.sys lies on a disk that [SourceDisksNames] does not list.\n"},
    };
    for (const auto& row : rows) {
        FakeToolPlatform tool;
        tool.infs["C:\\p\\s.inf"] = head + row.extra;
        for (const std::string& file : all)
            if (!row.missing || file != row.missing) tool.AddFile(file);
        const PayloadRun run =
            row.id ? CheckPayload(tool, {5, 1, 1}, row.id) : CheckPayload(tool, {5, 1, 1});
        EXPECT_EQ(run.problems, row.problems) << row.extra << row.missing;
        EXPECT_EQ(run.result, *row.problems ? PayloadResult::Incomplete : PayloadResult::Complete);
    }
}

TEST(ToolPayload, SourcePathIsTheDisksPathThenTheFilesSubdirectory) {
    const struct {
        const char* architecture;
        const char* sources;  // the source-disk sections
        const char* path;     // where a.sys lies
        // The path the box names without it, when not `path`.
        const char* missing = nullptr;
    } rows[] = {
        {"x86", "[SourceDisksNames]\n1=Disk\n[SourceDisksFiles]\na.sys=1\n", "C:\\p\\a.sys"},
        {"x86", "[SourceDisksNames]\n1=Disk,,,\n[SourceDisksFiles]\na.sys=1,\n", "C:\\p\\a.sys"},
        {"x86", "[SourceDisksNames]\n1=Disk,,,\\x86\n[SourceDisksFiles]\na.sys=1\n",
         "C:\\p\\x86\\a.sys"},
        {"x86", "[SourceDisksNames]\n1=Disk,,,\n[SourceDisksFiles]\na.sys=1,x86\n",
         "C:\\p\\x86\\a.sys"},
        // A backslash at a line's end continues the line; in quotes it ends
        // the path
        // (learn.microsoft.com/windows-hardware/drivers/install/general-syntax-rules-for-inf-files).
        {"x86",
         "[SourceDisksNames]\n1=Disk,,,\"\\drv\\\"\n[SourceDisksFiles]\na.sys=1,\"\\x86\\\"\n",
         "C:\\p\\drv\\x86\\a.sys"},
        {"x86", "[SourceDisksNames]\n01=Disk,,,.\\drv,0\n[SourceDisksFiles]\na.sys=1,x86,123\n",
         "C:\\p\\drv\\x86\\a.sys"},
        // The section for the processor first, line by line.
        {"amd64",
         "[SourceDisksNames]\n1=Disk,,,\\x86\n[SourceDisksNames.amd64]\n1=Disk,,,\\amd64\n"
         "[SourceDisksFiles]\na.sys=1\n",
         "C:\\p\\amd64\\a.sys"},
        {"x86",
         "[SourceDisksNames]\n1=Disk,,,\\one\n2=Disk,,,\\two\n[SourceDisksNames.x86]\n3=D\n"
         "[SourceDisksFiles]\na.sys=1\n[SourceDisksFiles.x86]\na.sys=2,sub\n",
         "C:\\p\\two\\sub\\a.sys"},
        // A disk's cabinet in the disk's path stands for its files.
        {"x86", "[SourceDisksNames]\n1=Disk,drivers.CAB,,\\x86\n[SourceDisksFiles]\na.sys=1,sub\n",
         "C:\\p\\x86\\drivers.cab", "C:\\p\\x86\\sub\\a.sys"},
        {"x86", "[SourceDisksNames]\n1=Disk,tag,,x86,0x10,t\n[SourceDisksFiles]\na.sys=1\n",
         "C:\\p\\x86\\tag", "C:\\p\\x86\\a.sys"},
    };
    for (const auto& row : rows) {
        for (const bool present : {true, false}) {
            FakeToolPlatform tool;
            tool.architecture = row.architecture;
            tool.infs["C:\\p\\s.inf"] = std::string(
                                            "[Manufacturer]\nM=Models,NTamd64\n"
                                            "[Models]\nD=I,PCI\\VEN_1&DEV_2\n"
                                            "[Models.NTamd64]\nD=I,PCI\\VEN_1&DEV_2\n"
                                            "[I]\nCopyFiles=@a.sys\n") +
                                        row.sources;
            if (present) tool.AddFile(row.path);
            const PayloadRun run = CheckPayload(tool, {5, 1, 1});
            EXPECT_EQ(
                run.problems,
                present ? "" : std::string(row.missing ? row.missing : row.path) + " is missing.\n")
                << row.sources;
        }
    }
}

TEST(ToolPayload, CompressedFormsCountAndTheListOfMissingFilesIsCut) {
    std::string inf =
        "[Manufacturer]\nM=Models\n[Models]\nD=I,PCI\\VEN_1&DEV_2\n[I]\nCopyFiles=L\n[L]\n";
    std::string listed = "[SourceDisksNames]\n1=D\n[SourceDisksFiles]\n";
    for (int i = 0; i < 13; ++i) {
        inf += "f" + std::to_string(i) + ".sys\n";
        listed += "f" + std::to_string(i) + ".sys=1\n";
    }
    FakeToolPlatform tool;
    tool.infs["C:\\p\\s.inf"] = inf + listed;
    tool.AddFile("C:\\p\\f0.sy_");
    tool.AddFile("C:\\p\\f1.sy$");
    const PayloadRun run = CheckPayload(tool, {5, 1, 1});
    EXPECT_EQ(run.problems.find("f0.sys"), std::string::npos);
    EXPECT_EQ(run.problems.find("f1.sys"), std::string::npos);
    EXPECT_NE(run.problems.find("C:\\p\\f11.sys is missing.\n... and 1 more.\n"), std::string::npos)
        << run.problems;
}

// The whole tool on a scripted machine: the window first, then each check in
// turn, and the install only when every one has passed.
struct Machine {
    FakePlatform platform;
    FakeToolPlatform tool;
    Machine() {
        platform.modulePath = "D:\\pkg\\install.exe";
        platform.SetVersion(2, 5, 1, 2600);
        tool.commandLine = "D:\\pkg\\install.exe D:\\pkg\\drv\\s.inf \"PCI\\VEN_1&DEV_2\"";
        tool.infs["D:\\pkg\\drv\\s.inf"] =
            "[Manufacturer]\nM=Models\n[Models]\nD=I,PCI\\VEN_1&DEV_2\n[I]\nCopyFiles=@d.sys\n"
            "[SourceDisksNames]\n1=Disk\n[SourceDisksFiles]\nd.sys=1\n";
        tool.AddFile("D:\\pkg\\drv\\s.inf");
        tool.AddFile("D:\\pkg\\drv\\d.sys");
    }
};

TEST(InstallTool, EachOutcomeHasItsBoxAndStatus) {
    const std::string install = "install PCI\\VEN_1&DEV_2 D:\\pkg\\drv\\s.inf";
    const struct {
        const char* name;
        void (*script)(Machine&);
        int status;
        const char* box;  // start of the box's text; null: no box
        bool installs;
    } rows[] = {
        {"installed", [](Machine&) {}, kInstalled, nullptr, true},
        {"2000", [](Machine& m) { m.platform.SetVersion(2, 5, 0, 2195); }, kInstalled, nullptr,
         true},
        {"98", [](Machine& m) { m.platform.SetVersion(1, 4, 10, 2222); }, kWrongWindows,
         "This driver package needs Windows 2000 or XP.", false},
        {"NT 4.0", [](Machine& m) { m.platform.SetVersion(2, 4, 0, 1381); }, kWrongWindows,
         "This driver package needs", false},
        {"WOW64 without the 64-bit tool", [](Machine& m) { m.tool.wow64 = true; }, kWindows64,
         "This is 64-bit Windows, and the package's 64-bit installer tool amd64\\install.exe is "
         "missing. Nothing was installed.",
         false},
        {"no arguments", [](Machine& m) { m.tool.commandLine = "install.exe"; }, kWrongCommandLine,
         "The command line lacks", false},
        {"no setup library", [](Machine& m) { m.tool.librariesMissing = true; }, kNoSetupLibrary,
         "Windows' setup library", false},
        {"file missing", [](Machine& m) { m.tool.files.erase("d:\\pkg\\drv\\d.sys"); },
         kPackageIncomplete,
         "The driver package is incomplete, so nothing was installed and nothing was "
         "changed.\n\nD:\\pkg\\drv\\d.sys is missing.",
         false},
        {"INF missing", [](Machine& m) { m.tool.files.clear(); }, kPackageIncomplete,
         "The driver package is incomplete", false},
        {"INF unreadable", [](Machine& m) { m.tool.infs.clear(); }, kPackageIncomplete,
         "The driver package is incomplete, so nothing was installed and nothing was "
         "changed.\n\nD:\\pkg\\drv\\s.inf cannot be read as setup information (line 3): "
         "error 0xE0000003",
         false},
        {"not an administrator", [](Machine& m) { m.tool.administrator = false; }, kInstallFailed,
         "Installing a driver needs an administrator's rights.", false},
        // The setup library's errors: only its memory errors are exhausted
        // memory.
        {"setup library fails", [](Machine& m) { m.tool.fieldError = 0xE0000102u; },
         kPackageIncomplete,
         "The driver package is incomplete, so nothing was installed and nothing was "
         "changed.\n\nD:\\pkg\\drv\\s.inf cannot be read as setup information: error "
         "0xE0000102",
         false},
        {"setup library without memory", [](Machine& m) { m.tool.fieldError = 14; }, kNoMemory,
         "The installer has run out of memory.", false},
        // Windows' own install of a device (a wizard open for it) is waited
        // for, as far as the system tells of it.
        {"own installs, test fails", [](Machine& m) { m.tool.pendingResults = {0xFFFFFFFFu}; },
         kInstalled, nullptr, true},
        {"own installs, then none",
         [](Machine& m) {
             m.tool.pendingResults = {0x102, 0x102, 0};
             m.platform.boxAnswers = {4, 4};
         },
         kInstalled, "Windows is installing a device itself", true},
        {"own installs, cancelled",
         [](Machine& m) {
             m.tool.pendingResults = {0x102};
             m.platform.boxAnswers = {2};
         },
         kCancelled, "Windows is installing a device itself", false},
        {"no such device", [](Machine& m) { m.tool.installError = 0xE000020Bu; }, kInstallFailed,
         "The driver could not be installed.\n\nNo device with this hardware ID is present in "
         "this computer.\n(error 0xE000020B)",
         true},
        {"system's words", [](Machine& m) { m.tool.installError = 87; }, kInstallFailed,
         "The driver could not be installed.\n\nThe parameter is incorrect.\n(error 0x00000057)",
         true},
        {"restart now",
         [](Machine& m) {
             m.tool.restartNeeded = true;
             m.tool.restartChosen = true;
         },
         kInstalled, nullptr, true},
        {"restart later", [](Machine& m) { m.tool.restartNeeded = true; }, kRestartPending, nullptr,
         true},
        {"no window", [](Machine& m) { m.tool.windowFails = true; }, kNoMemory,
         "The installer has run out of memory.", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Machine m;
        row.script(m);
        const std::size_t answers = m.platform.boxAnswers.size();
        CInstallApp app(m.platform, m.tool);
        EXPECT_EQ(launcher::CWinApp::RunCurrent(), row.status);
        if (row.box) {
            // One box, or one for each answer scripted.
            ASSERT_EQ(m.platform.boxes.size(), std::max<std::size_t>(answers, 1));
            for (const auto& box : m.platform.boxes) {
                EXPECT_EQ(box.text.rfind(row.box, 0), 0u) << box.text;
                EXPECT_EQ(box.caption, kCaption);
            }
        } else {
            EXPECT_TRUE(m.platform.boxes.empty()) << m.platform.boxes[0].text;
        }
        const auto& events = m.tool.events;
        const bool installed = std::find(events.begin(), events.end(), install) != events.end();
        EXPECT_EQ(installed, row.installs);
        if (!m.tool.windowFails) {
            // The window stands before anything else happens and goes last.
            ASSERT_GE(events.size(), 2u);
            EXPECT_EQ(events.front(), "window D:\\pkg\\install.exe");
            EXPECT_EQ(events.back(), "window gone");
        }
        // Boxes of Windows' own during the install reach the user.
        if (row.installs) {
            EXPECT_EQ(m.platform.events.back(), "error mode of the start");
        }
        EXPECT_EQ(std::count(events.begin(), events.end(), "restart?"),
                  m.tool.restartNeeded ? 1 : 0);
    }
}

TEST(InstallTool, UnderWow64ThePackages64BitToolInstallsAndItsStatusComesBack) {
    const struct {
        const char* name;
        std::uint32_t status;  // the 64-bit tool's
        std::uint32_t error;   // its start's
        int expected;
        const char* box;  // null: none
    } rows[] = {
        {"installed", 0, 0, kInstalled, nullptr},
        {"incomplete", 3, 0, kPackageIncomplete, nullptr},
        {"restart later", 3010, 0, kRestartPending, nullptr},
        {"no start", 0, 87, kWindows64,
         "This is 64-bit Windows, and the package's 64-bit installer tool could not be started, "
         "so nothing was installed: D:\\pkg\\amd64\\install.exe.\n\nThe parameter is "
         "incorrect.\n(error 0x00000057)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Machine m;
        m.tool.wow64 = true;
        m.tool.AddFile("D:\\pkg\\amd64\\install.exe");
        m.tool.programStatus = row.status;
        m.tool.programError = row.error;
        CInstallApp app(m.platform, m.tool);
        EXPECT_EQ(launcher::CWinApp::RunCurrent(), row.expected);
        // The window stands until the 64-bit tool has ended; that one gets
        // the same two arguments and the error mode of the start.
        EXPECT_EQ(m.tool.events,
                  (std::vector<std::string>{
                      "window D:\\pkg\\install.exe",
                      "run D:\\pkg\\amd64\\install.exe | \"D:\\pkg\\amd64\\install.exe\" "
                      "\"D:\\pkg\\drv\\s.inf\" \"PCI\\VEN_1&DEV_2\"",
                      "window gone"}));
        EXPECT_EQ(m.platform.events.back(), "error mode of the start");
        if (row.box) {
            ASSERT_EQ(m.platform.boxes.size(), 1u);
            EXPECT_EQ(m.platform.boxes[0].text, row.box);
        } else {
            EXPECT_TRUE(m.platform.boxes.empty());
        }
    }
}

TEST(InstallTool, RunningOutOfMemoryAnywhereEndsWithAStatusNeverAnAbort) {
    // The heap gives nothing from the k-th allocation on, for each k until a
    // run needs no more than k: each such run stops, and says so, before
    // anything is installed.
    for (long k = 0;; ++k) {
        Machine m;
        m.platform.refuseAllocationsFrom = k;
        CInstallApp app(m.platform, m.tool);
        const int status = launcher::CWinApp::RunCurrent();
        if (m.platform.allocations <= k) {
            EXPECT_EQ(status, kInstalled);
            break;
        }
        SCOPED_TRACE(k);
        EXPECT_EQ(status, kNoMemory);
        EXPECT_EQ(m.platform.boxes.size(), 1u);
        EXPECT_EQ(std::count(m.tool.events.begin(), m.tool.events.end(),
                             "install PCI\\VEN_1&DEV_2 D:\\pkg\\drv\\s.inf"),
                  0);
    }
}

}  // namespace
}  // namespace installtool
