// The built tool on real directories: exit status, messages and JSON.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>

#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using testing::TempDir;

struct ToolRun {
    int status;
    std::string out;  // stdout and stderr together
};

ToolRun RunTool(const std::string& arguments) {
    const std::string command = std::string(PKGCHECK_BINARY) + " " + arguments + " 2>&1";
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
        pkg.Write("install.exe", "MZ");
        pkg.Write("drv/stordrv.inf", testing::Utf16Le("[Manufacturer]\r\nM=Models,NTx86\r\n"
                                                      "[Models.NTx86]\r\n"
                                                      "D=Inst,PCI\\VEN_8086&DEV_2922\r\n"));
        devices.Write("devices.reg",
                      testing::Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n"
                                       "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\PCI\\"
                                       "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02]\r\n"));
    }
    std::string Args(const std::string& more) const { return pkg.path().string() + " " + more; }

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

}  // namespace
}  // namespace pkgcheck
