// The built tool on real directories: exit status, messages and JSON.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "pkgcheck/catalog/Sha1.h"
#include "tests/pkgcheck/CatalogWriter.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using testing::TempDir;

struct ToolRun {
    int status;
    std::string out;  // stdout and stderr together
};

// `arguments` as the shell reads them, so they may redirect standard input.
ToolRun RunTool(const std::string& arguments, const std::string& dir = ".") {
    const std::string command =
        "cd '" + dir + "' && " + std::string(PKGCHECK_BINARY) + " " + arguments + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string out;
    char block[4096];
    std::size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, pipe.get())) > 0) out.append(block, got);
    const int status = pclose(pipe.release());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        pkg.Write("KEY.INI", "[ids]\r\nid1=VEN_8086&DEV_2922\r\n");
        pkg.Write("install.exe", testing::TinyImage());
        pkg.Write("amd64/install.exe", testing::TinyImage(0x8664, 2, true));
        const std::string inf = testing::Utf16Le(
            "[Version]\r\nCatalogFile=stordrv.cat\r\n"
            "[Manufacturer]\r\nM=Models,NTx86,NTamd64\r\n"
            "[Models.NTx86]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n"
            "[Models.NTamd64]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n"
            "[Inst]\r\n");
        pkg.Write("drv/stordrv.inf", inf);
        pkg.Write("drv/stordrv.cat",
                  testing::CatalogBytes({{HexDigest(Sha1Of(inf)), "stordrv.inf"}}));
        devices.Write("devices.reg",
                      testing::Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                                       "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\"
                                       "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02]\r\n"));
    }
    std::string Args(const std::string& more) const { return pkg.path().string() + " " + more; }
    std::string Device(const std::string& name) const { return (devices.path() / name).string(); }

    TempDir pkg;
    TempDir devices;
};

TEST_F(EndToEnd, CleanPackagePassesEvenWhenStrict) {
    const ToolRun run =
        RunTool(Args("--strict --devices " + (devices.path() / "devices.reg").string() +
                     " --install-dir 'E:\\setup'"));
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run.out, "found as KEY.INI"));
    EXPECT_TRUE(Has(run.out,
                    "E:\\setup\\install.exe E:\\setup\\drv\\stordrv.inf "
                    "\"PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\""))
        << run.out;
}

// The example package, its catalog included, with a stand-in installer tool.
TEST_F(EndToEnd, ExamplePackagePassesWhenStrict) {
    const TempDir example;
    std::filesystem::copy(std::string(PKGCHECK_SOURCE_DIR) + "/examples/package", example.path(),
                          std::filesystem::copy_options::recursive);
    example.Write("install.exe", testing::TinyImage());
    example.Write("amd64/install.exe", testing::TinyImage(0x8664, 2, true));
    const ToolRun run = RunTool("--strict " + example.path().string());
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run.out, "  drv\\stordrv.sys  image ")) << run.out;
    EXPECT_TRUE(Has(run.out, "Catalog for amd64: drv\\stordrv.cat, 3 members")) << run.out;
}

// The example's catalog signed as the README shows, under a root of the
// builder's own, then with SHA-256, then changed after signing.
TEST_F(EndToEnd, ExampleCatalogSignedByTheBuilder) {
    const TempDir example;
    std::filesystem::copy(std::string(PKGCHECK_SOURCE_DIR) + "/examples/package", example.path(),
                          std::filesystem::copy_options::recursive);
    example.Write("install.exe", testing::TinyImage());
    example.Write("amd64/install.exe", testing::TinyImage(0x8664, 2, true));
    const TempDir signing;
    const std::string catalog = (example.path() / "drv" / "stordrv.cat").string();
    ASSERT_EQ(std::system((std::string(PKGCHECK_SOURCE_DIR) + "/tests/pkgcheck/sign_catalogs.sh " +
                           catalog + " " + signing.path().string())
                              .c_str()),
              0);
    const std::string trust = " --trust " + (signing.path() / "root1.pem").string() + " ";
    const auto runWith = [&](const char* signed_, const std::string& options) {
        std::filesystem::copy_file(signing.path() / signed_, catalog,
                                   std::filesystem::copy_options::overwrite_existing);
        return RunTool(options + " " + example.path().string());
    };
    ToolRun run = runWith("sha1.cat", "--strict" + trust);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Has(run.out,
                    "  signature: verified\n    signer: CN=Builder Test Publisher, "
                    "digest sha1\n"))
        << run.out;
    EXPECT_TRUE(Has(run.out, "  XP SP3: signed by another publisher, which it takes as unsigned"));
    run = runWith("sha1.cat", "--json" + trust);
    EXPECT_TRUE(Has(run.out, "\"root\": \"CN=Builder Test Root SHA-1\""));
    EXPECT_TRUE(Has(run.out, "\"takenAs\": \"publisher\""));
    run = runWith("sha1.cat", "--json");  // without its root
    EXPECT_TRUE(Has(run.out, "\"root\": null")) << run.out;
    EXPECT_TRUE(Has(run.out, "\"takenAs\": \"unsigned\""));
    run = runWith("sha256.cat", "--strict" + trust);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(Has(run.out,
                    "[catalog-signature-sha2]: is signed with a sha256 digest, which "
                    "2000 SP4, XP before SP3, XP SP3"))
        << run.out;
    // A --trust file that is no PEM is one error, however many catalogs.
    run = runWith("sha1.cat", "--trust " + catalog);
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_TRUE(Has(run.out, "[trust-unreadable]: cannot be read as a PEM root for --trust"));
    EXPECT_EQ(run.out.find("[trust-unreadable]"), run.out.rfind("[trust-unreadable]")) << run.out;
    run = runWith("changed.cat", trust);
    EXPECT_EQ(run.status, 2) << run.out;
    EXPECT_TRUE(Has(run.out, "[catalog-signature-broken]: the catalog changed after it was signed"))
        << run.out;
}

// A package that Microsoft's driver signing signed for XP and Server 2003
// (tests/pkgcheck/material/ms-signed), and the same with its catalog changed.
TEST_F(EndToEnd, DriverSigningIsTakenWhereTheCatalogNamesTheSystem) {
    const std::string material = std::string(PKGCHECK_SOURCE_DIR) + "/tests/pkgcheck/material/";
    std::filesystem::remove(pkg.path() / "drv" / "stordrv.cat");
    std::filesystem::copy_file(material + "ms-signed/SMBUSamd.inf",
                               pkg.path() / "drv" / "stordrv.inf",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(material + "ms-signed/smbusamd.cat",
                               pkg.path() / "drv" / "smbusamd.cat");
    ToolRun run = RunTool(Args(""));
    EXPECT_TRUE(Has(run.out,
                    "    root: Microsoft Root Authority; Microsoft's driver signing\n"
                    "    timestamp: 2011-09-13 14:29:46 UTC\n"))
        << run.out;
    // Its OSAttr names XP and Server 2003, not 2000.
    EXPECT_TRUE(Has(run.out, "  2000 SP4: unsigned;"));
    EXPECT_TRUE(Has(run.out, "  XP SP3: signed by Microsoft's driver signing; installs without"));
    EXPECT_TRUE(Has(run.out, "  XP x64: signed by Microsoft's driver signing;"));
    EXPECT_FALSE(Has(run.out, "catalog-signature"));
    run = RunTool(Args("--devices " + Device("devices.reg")));
    EXPECT_TRUE(Has(run.out,
                    "  The driver on XP before SP3, XP SP3, Server 2003 before SP2 and "
                    "Server 2003 SP2: signed by Microsoft's driver signing, no box; "
                    "2000 SP4: unsigned, a box asks"))
        << run.out;
    run = RunTool(Args("--json"));
    EXPECT_TRUE(Has(run.out, "\"driverSigning\": true")) << run.out;
    EXPECT_TRUE(Has(run.out, "\"timestamp\": \"2011-09-13 14:29:46 UTC\""));

    std::string changed = testing::Slurp(material + "ms-signed/smbusamd.cat");
    changed[changed.size() / 2] = static_cast<char>(changed[changed.size() / 2] ^ 1);
    pkg.Write("drv/smbusamd.cat", changed);
    run = RunTool(Args(""));
    EXPECT_TRUE(Has(run.out, "  signature: NOT VERIFIED: ")) << run.out;
    EXPECT_TRUE(Has(run.out, "  XP SP3: unsigned;"));
    EXPECT_TRUE(Has(run.out, "[catalog-signature-broken]"));
}

TEST_F(EndToEnd, WarningsFailOnlyWhenStrict) {
    pkg.Write("KEY.INI", "[ids]\nid1=VEN_8086&DEV_2922\nid2=VEN_1002\n");
    EXPECT_EQ(RunTool(Args("")).status, 0);
    const ToolRun strict =
        RunTool(Args("--strict --json --devices " + (devices.path() / "devices.reg").string()));
    EXPECT_EQ(strict.status, 1) << strict.out;
    EXPECT_TRUE(Has(strict.out, "\"kind\": \"lf-line-ends\""));
    EXPECT_TRUE(Has(strict.out, "\"text\": \"VEN_8086&DEV_2922\\nid2=VEN_1002\\n\""));
    EXPECT_TRUE(Has(strict.out, "\"caption\": \"Worry\""));
    EXPECT_TRUE(Has(strict.out, "\"exitStatus\": 1"));
}

TEST_F(EndToEnd, LongTextsAreCutInTheTextReportButWholeInJson) {
    const std::string huge = "VEN_8086&DEV_2922" + std::string(100000, 'X');
    pkg.Write("KEY.INI", "[ids]\r\nid1=" + huge + "\r\n");
    const ToolRun text = RunTool(Args(""));
    EXPECT_LT(text.out.size(), 4000u) << text.out;
    EXPECT_TRUE(Has(text.out, "VEN_8086&DEV_2922XXX"));
    EXPECT_TRUE(Has(text.out, "XXX (100017 bytes)"));
    EXPECT_TRUE(Has(RunTool(Args("--json")).out, "\"text\": \"" + huge + "\""));
}

TEST_F(EndToEnd, ErrorsNameTheFile) {
    std::filesystem::remove(pkg.path() / "drv" / "stordrv.inf");
    const ToolRun missing = RunTool(Args("--json"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Has(missing.out, "pkgcheck: drv\\stordrv.inf: no file stordrv.inf in "))
        << missing.out;
    EXPECT_TRUE(Has(missing.out, "\"exitStatus\": 2"));

    const ToolRun noDevices = RunTool(Args("--devices " + (devices.path() / "none.txt").string()));
    EXPECT_EQ(noDevices.status, 2);
    EXPECT_TRUE(Has(noDevices.out, "none.txt: cannot read"));

    EXPECT_EQ(RunTool(Args("--this-machine --devices x")).status, 2);
    EXPECT_EQ(RunTool("").status, 2);
}

// Each machine of a fleet gets its row, whatever became of the others, and
// the totals count them.
TEST_F(EndToEnd, FleetGivesOneRowPerMachineAndTotals) {
    // The INF installs one subsystem only, though the entry takes them all.
    pkg.Write("drv/stordrv.inf",
              "[Manufacturer]\r\nM=Models\r\n[Models]\r\n"
              "D=Inst,pci\\ven_8086&dev_2922&subsys_b0051458\r\n");
    const testing::TempDir fleet;
    fleet.Write("a.txt", "VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02\r\n");
    fleet.Write("b.txt", "VEN_10DE&DEV_0A64&SUBSYS_00000000&REV_B1\r\n");
    fleet.Write("c.bin", std::string("MZ\0\0\x03\0", 6));
    fleet.Write("d.txt", "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\r\n");
    const std::string dir = fleet.path().string();

    const ToolRun text = RunTool(Args("--devices " + dir));
    EXPECT_EQ(text.status, 2) << text.out;
    for (const char* row :
         {"a.txt  VEN_8086&DEV_2922&SUBSYS_B0051458&REV_02 (entry 1) starts: C:\\pkg\\install.exe",
          "b.txt  box \"Worry\"", "c.bin  error: binary data",
          "d.txt  VEN_8086&DEV_2922&SUBSYS_00000000&REV_02 (entry 1) starts: C:\\pkg\\install.exe "
          "C:\\pkg\\drv\\stordrv.inf \"PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\"  "
          "[chosen-not-in-inf]",
          "Totals: 4 machines; installation: 2, \"Worry\" box: 1, error: 1; chosen-not-in-inf: 1"})
        EXPECT_TRUE(Has(text.out, row)) << row << "\n" << text.out;
    EXPECT_TRUE(Has(text.out,
                    "d.txt [chosen-not-in-inf]: the launcher starts the installer for "
                    "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02, but no PCI hardware ID of "
                    "drv\\stordrv.inf for x86 NT 5.x is one of its IDs "
                    "(PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02, PCI"))
        << text.out;

    // Files named one by one are a fleet too; JSON carries the same.
    const ToolRun json =
        RunTool(Args("--json --devices " + dir + "/a.txt --devices " + dir + "/d.txt"));
    EXPECT_EQ(json.status, 0) << json.out;
    EXPECT_TRUE(Has(json.out, "\"dryRun\": null"));
    EXPECT_TRUE(Has(json.out, "\"infId\": \"pci\\\\ven_8086&dev_2922&subsys_b0051458\""))
        << json.out;
    EXPECT_TRUE(Has(json.out,
                    "\"installations\": 2,\n      \"worryBoxes\": 0,\n      "
                    "\"otherBoxes\": 0,\n      \"chosenNotInInf\": 1"))
        << json.out;
}

TEST_F(EndToEnd, CommandLineConventions) {
    const std::string reg = Device("devices.reg");
    // "A" and 130 "é": 131 bytes in an ANSI code page, however long in UTF-8.
    std::string wide = "A";
    for (int i = 0; i < 130; ++i) wide += "\xC3\xA9";
    devices.Write("wide.txt",
                  "\xEF\xBB\xBF" + wide + "\r\nVEN_8086&DEV_2922&SUBSYS_00000000&REV_02\r\n");
    pkg.Write("-pkg/KEY.INI", "id1=VEN_8086&DEV_2922\r\n");
    // --write-list needs the INF alone.
    pkg.Write("bare/drv/stordrv.inf",
              "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I,PCI\\VEN_8086&DEV_2922\r\n");
    // The installer starts, and the INF's catalog is not there.
    pkg.Write("stops/key.ini", "id1=VEN_8086&DEV_2922\r\n");
    pkg.Write("stops/install.exe", testing::TinyImage());
    pkg.Write("stops/drv/stordrv.inf",
              "[Version]\r\nCatalogFile=gone.cat\r\n[Manufacturer]\r\nM=Models\r\n"
              "[Models]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n[Inst]\r\n");
    // Models for XP x64, and no 64-bit tool: x86 installs all the same.
    pkg.Write("nox64/key.ini", "id1=VEN_8086&DEV_2922\r\n");
    pkg.Write("nox64/install.exe", testing::TinyImage());
    pkg.Write("nox64/drv/stordrv.inf",
              "[Manufacturer]\r\nM=Models,NTamd64\r\n[Models]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n"
              "[Models.NTamd64]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n[Inst]\r\n");
    // The 64-bit tool and no install.exe: XP x64 starts install.exe first.
    pkg.Write("no86/key.ini", "id1=VEN_8086&DEV_2922\r\n");
    pkg.Write("no86/amd64/install.exe", testing::TinyImage(0x8664, 2, true));
    pkg.Write("no86/drv/stordrv.inf",
              "[Manufacturer]\r\nM=Models,NTamd64\r\n[Models]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n"
              "[Models.NTamd64]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n[Inst]\r\n");
    pkg.Write("win7/drv/stordrv.inf",
              "[Manufacturer]\r\nM=Models,NTx86.6.1\r\n[Models.NTx86.6.1]\r\n"
              "D=I,PCI\\VEN_8086&DEV_2922\r\n");
    struct Case {
        std::string args;  // PKG: the package directory
        int status;
        std::string shown;
        std::string notShown;
    };
    const Case cases[] = {
        {"--help", 0, "Exit status: 0 when nothing is wrong", ""},
        {"-h", 0, "--code-page N", ""},
        {"--version", 0, "pkgcheck 1.0.0.1\n", "usage"},
        {"PKG --devices - < " + reg, 0, "from standard input (reg export", ""},
        {"PKG --devices " + reg, 0, "\n  The package installs it on 2000 and XP (x86)", ""},
        {"PKG/stops --devices " + reg, 2,
         "\n  The installation stops: drv\\stordrv.inf line 2 [catalog-missing]", ""},
        {"PKG/nox64 --devices " + reg, 2, "\n  The package installs it on 2000 and XP (x86)",
         "The installation stops"},
        {"PKG/nox64 --devices " + reg, 2,
         "\n  On XP x64 and Server 2003 x64 the installation stops: amd64\\install.exe [missing]",
         ""},
        {"PKG/no86 --devices " + reg, 2,
         "\n  On XP x64 and Server 2003 x64 the installation stops: install.exe [missing]", ""},
        {"PKG/nox64 --json", 2, "pkgcheck: amd64\\install.exe: no directory amd64", ""},
        {"PKG --json", 0, "\"payloadAmd64\": {\n    \"architecture\": \"amd64\"", ""},
        {"PKG --strict --devices " + Device("wide.txt"), 1, "odd-name", "scan-stops"},
        {"PKG --code-page 932 --devices " + Device("wide.txt"), 0, "unconvertible", ""},
        {"PKG --code-page ' 932'", 2, "--code-page takes the number", ""},
        {"PKG --code-page +932", 2, "--code-page takes the number", ""},
        {"PKG --code-page 4294968228", 2, "--code-page takes the number", ""},
        {"PKG --code-page 932x", 2, "--code-page takes the number", ""},
        {"PKG --code-page 932 --code-page 1252", 2, "--code-page given twice", ""},
        {"PKG --install-dir D: --install-dir E:", 2, "--install-dir given twice", ""},
        {"PKG --install-dir ''", 2, "--install-dir has an empty value", ""},
        {"PKG --devices=", 2, "--devices has an empty value", ""},
        {"PKG --devices - --devices -", 2, "read only once", ""},
        {"PKG --bogus", 2, "unknown option '--bogus'", ""},
        {reg, 2, ": not a directory", ""},
        {"-- -pkg", 2, "package -pkg", "unknown option"},
        {"--write-list bare", 0, "[SupportedIDs]\r\n;", "key.ini"},
        {"--write-list bare", 0, "\r\nid1=VEN_8086&DEV_2922\r\n", "install.exe"},
        {"--write-list win7", 2, "no list written", "[SupportedIDs]"},
        {"--write-list win7", 2, "stordrv.inf: no PCI hardware IDs", ""},
        {"PKG --write-list --devices " + reg, 2, "--write-list writes key.ini and no report", ""},
    };
    for (const Case& c : cases) {
        std::string args = c.args;
        const std::size_t at = args.find("PKG");
        if (at != std::string::npos) args.replace(at, 3, pkg.path().string());
        const ToolRun run = RunTool(args, pkg.path().string());
        EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.out;
        EXPECT_TRUE(Has(run.out, c.shown)) << c.args << "\n" << run.out;
        if (!c.notShown.empty()) {
            EXPECT_FALSE(Has(run.out, c.notShown)) << c.args << "\n" << run.out;
        }
    }
}

}  // namespace
}  // namespace pkgcheck
