// The INF's payload on small packages in a temporary folder: which install
// section 2000 and XP read, where each copied file is found, and what is
// missing.

#include <gtest/gtest.h>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/package/Payload.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using Strings = std::vector<std::string>;

// One model for x86 NT 5.x, installed by [Inst...]; a catalog and disk 1,
// which lies beside the INF.
const std::string kHead =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nCatalogFile=stor.cat\r\n"
    "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=Inst,PCI\\VEN_8086&DEV_2922\r\n"
    "[SourceDisksNames]\r\n1=\"Disk 1\",,,\r\n";
const std::string kCopy = "[Inst]\r\nCopyFiles=Files\r\n[Files]\r\nstor.sys\r\n";

// A driver of the kind named after '=' (a good one for a bare .sys name), a
// cabinet ("cab:" and the names it lists), or a few bytes of text.
std::string Contents(const std::string& file) {
    const std::string kind =
        file.find('=') == std::string::npos ? "" : file.substr(file.find('=') + 1);
    if (kind.rfind("cab:", 0) == 0) {
        std::vector<std::pair<std::string, std::string>> members;
        const std::string names = kind.substr(4);
        for (std::size_t at = 0; at < names.size();) {
            const std::size_t end = std::min(names.find(' ', at), names.size());
            const std::string name = names.substr(at, end - at);
            members.emplace_back(name, Contents(name));
            at = end + 1;
        }
        return testing::StoredCabinet(members);
    }
    if (kind == "x64") return testing::TinyImage(0x8664, 1, true);
    if (kind == "x86") return testing::TinyImage(0x14C, 1);
    if (kind == "wrong-checksum") return testing::TinyImage(0x14C, 1, false, 1);
    if (kind == "program") return testing::TinyImage(0x14C, 2);
    if (kind == "text") return "x";
    return IsDriverFile(file) ? testing::TinyImage(0x14C, 1) : "x";
}

struct Row {
    const char* what;
    std::string inf;
    Strings files;       // in the package, below drv/
    std::string chosen;  // the install section read
    Strings found;       // per copied file: where, or "-"
    Strings kinds;       // errors, then warnings
};

void CheckRows(const std::vector<Row>& rows, PayloadArch arch) {
    for (const Row& row : rows) {
        const testing::TempDir pkg;
        pkg.Write("drv/stordrv.inf", row.inf);
        for (const std::string& file : row.files) {
            const std::string name = file.substr(0, file.find('='));
            pkg.Write("drv/" + name, Contents(file));
        }
        const InfContents inf = ReadInf(row.inf, "drv\\stordrv.inf");
        const Payload payload =
            CheckPayload(inf, (pkg.path() / "drv").string(), "drv", "drv\\stordrv.inf", arch);
        ASSERT_EQ(payload.installs.size(), 1u) << row.what;
        EXPECT_EQ(payload.installs[0].chosen, row.chosen) << row.what;
        Strings found;
        for (const PayloadFile& file : payload.files)
            found.push_back(file.found.empty() ? "-" : file.found);
        EXPECT_EQ(found, row.found) << row.what;
        Strings kinds;
        std::string messages;
        for (const auto* findings : {&payload.errors, &payload.warnings})
            for (const Finding& f : *findings) {
                kinds.push_back(f.kind);
                messages += f.message + "\n";
            }
        EXPECT_EQ(kinds, row.kinds) << row.what << "\n" << messages;
    }
}

TEST(CheckPayload, FindsEachCopiedFileAsWindowsDoes) {
    CheckRows(
        {
            {"in a subfolder of the disk",
             "[Version]\r\nCatalogFile.NTx86=stor.cat\r\n[Manufacturer]\r\nM=Models\r\n"
             "[Models]\r\nD=Inst,PCI\\VEN_1\r\n[SourceDisksNames]\r\n1=\"Disk 1\",,,\\disk1\r\n"
             "[SourceDisksFiles]\r\nstor.sys=1,x86\r\n" +
                 kCopy,
             {"stor.cat", "disk1/x86/stor.sys"},
             "Inst",
             {"drv\\disk1\\x86\\stor.sys"},
             {}},
            {"letter case aside",
             kHead + "[SourceDisksFiles]\r\nSTOR.SYS=1,Sub\r\n" + kCopy,
             {"STOR.CAT", "sub/Stor.Sys"},
             "Inst",
             {"drv\\sub\\Stor.Sys"},
             {}},
            {"x86 entries over plain ones",
             kHead +
                 "[SourceDisksNames.x86]\r\n2=\"Disk 2\",,,x86\r\n"
                 "[SourceDisksFiles]\r\nstor.sys=1,nowhere\r\n[SourceDisksFiles.x86]\r\nstor.sys="
                 "2\r\n" +
                 kCopy,
             {"stor.cat", "x86/stor.sys"},
             "Inst",
             {"drv\\x86\\stor.sys"},
             {}},
            {"missing file",
             kHead + "[SourceDisksFiles]\r\nstor.sys=1\r\n" + kCopy,
             {"stor.cat"},
             "Inst",
             {"-"},
             {"payload-missing"}},
            {"not listed, and on a disk never named",
             kHead + "[SourceDisksFiles]\r\nb.sys=3\r\n[Inst]\r\nCopyFiles=@a.sys,@b.sys\r\n",
             {"stor.cat", "a.sys", "b.sys"},
             "Inst",
             {"-", "-"},
             {"payload-not-listed", "payload-no-disk"}},
            {"catalog named, not there",
             kHead + "[SourceDisksFiles]\r\nstor.sys=1\r\n" + kCopy,
             {"stor.sys", "other/stor.cat"},
             "Inst",
             {"drv\\stor.sys"},
             {"catalog-missing"}},
            {"no catalog at all",
             "[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=Inst,PCI\\VEN_1\r\n"
             "[SourceDisksNames]\r\n1=d\r\n[SourceDisksFiles]\r\nstor.sys=1\r\n" +
                 kCopy,
             {"stor.sys"},
             "Inst",
             {"drv\\stor.sys"},
             {"unsigned"}},
            {"service binary not copied",
             kHead + "[SourceDisksFiles]\r\nstor.sys=1\r\n" + kCopy +
                 "[Inst.Services]\r\nAddService=stor,2,Svc\r\n"
                 "[Svc]\r\nServiceBinary=%12%\\other.sys\r\n",
             {"stor.cat", "stor.sys"},
             "Inst",
             {"drv\\stor.sys"},
             {"service-binary-not-copied"}},
            {".NTx86 over .NT and plain",
             kHead +
                 "[SourceDisksFiles]\r\na.sys=1\r\n[Inst.NTx86]\r\nCopyFiles=@a.sys\r\n"
                 "[Inst.NT]\r\nCopyFiles=@b.sys\r\n[Inst]\r\nCopyFiles=@c.sys\r\n"
                 "[Inst.NTx86.Services]\r\nAddService=a,2,Svc\r\n[Svc]\r\nServiceBinary=%12%\\A."
                 "SYS\r\n",
             {"stor.cat", "a.sys"},
             "Inst.NTx86",
             {"drv\\a.sys"},
             {}},
            {".NT over plain",
             kHead + "[SourceDisksFiles]\r\nb.sys=1\r\n[inst.nt]\r\nCopyFiles=@b.sys\r\n"
                     "[Inst]\r\nCopyFiles=@c.sys\r\n",
             {"stor.cat", "b.sys"},
             "inst.nt",
             {"drv\\b.sys"},
             {}},
            {"drivers that 2000 and XP on x86 refuse",
             kHead + "[SourceDisksFiles]\r\na.sys=1\r\nb.sys=1\r\nc.sys=1\r\nd.sys=1\r\n"
                     "[Inst]\r\nCopyFiles=@a.sys,@b.sys,@c.sys,@d.sys\r\n",
             {"stor.cat", "a.sys=x64", "b.sys=wrong-checksum", "c.sys=text", "d.sys=program"},
             "Inst",
             {"drv\\a.sys", "drv\\b.sys", "drv\\c.sys", "drv\\d.sys"},
             {"driver-not-x86", "driver-checksum", "driver-not-pe", "driver-not-native"}},
            // The disk's cabinet in its path holds what is not there by name;
            // its list of files tells which. XP takes a disk's files from
            // tag-or-cab-file alone when its flags hold 0x10, which 2000 does
            // not know; tag-file is only ever the tag
            // (learn.microsoft.com/windows-hardware/drivers/install/inf-sourcedisksnames-section).
            {"in the disk's cabinet",
             "[Version]\r\nCatalogFile=stor.cat\r\n[Manufacturer]\r\nM=Models\r\n"
             "[Models]\r\nD=Inst,PCI\\VEN_1\r\n[SourceDisksNames]\r\n1=d,Drivers.cab,,\\x86\r\n"
             "2=d,tag,,x86,0x10,t\r\n3=d,tag,,x86,0,t.cab\r\n[SourceDisksFiles]\r\n"
             "a.sys=1,sub\r\nb.sys=2\r\nc.sys=3\r\nd.sys=1\r\n"
             "[Inst]\r\nCopyFiles=@a.sys,@b.sys,@c.sys,@d.sys\r\n",
             {"stor.cat", "x86/drivers.cab=cab:x.sys A.SYS d", "x86/tag=cab:b.sys",
              "x86/t.cab=cab:c.sys"},
             "Inst",
             {"drv\\x86\\drivers.cab", "drv\\x86\\tag", "-", "-"},
             {"payload-missing", "payload-missing", "payload-missing"}},
            {"no install section", kHead, {"stor.cat"}, "", {}, {"payload-section-missing"}},
        },
        PayloadArch::X86);
}

// XP x64 and Server 2003 x64 read the NTamd64 models, .amd64 source entries
// and .NTamd64 sections and catalog, and load only x64 drivers.
TEST(CheckPayload, TheAmd64PayloadIsFoundAsXpX64FindsIt) {
    const std::string head =
        "[Version]\r\nCatalogFile=stor.cat\r\nCatalogFile.NTamd64=stor64.cat\r\n"
        "[Manufacturer]\r\nM=Models,NTamd64\r\n[Models]\r\nD=X86,PCI\\VEN_1\r\n"
        "[Models.NTamd64]\r\nD=Inst,PCI\\VEN_1\r\n[X86]\r\nCopyFiles=@x86.sys\r\n"
        "[SourceDisksNames]\r\n1=d,,,\r\n";
    CheckRows(
        {
            {"the disk's amd64 path over the plain one",
             head +
                 "[SourceDisksNames.amd64]\r\n1=d,,,\\amd64\r\n[SourceDisksFiles]\r\nstor.sys="
                 "1\r\n" +
                 kCopy,
             {"stor64.cat", "amd64/stor.sys=x64"},
             "Inst",
             {"drv\\amd64\\stor.sys"},
             {}},
            {".NTamd64 over plain; an x86 driver there",
             head +
                 "[SourceDisksFiles]\r\nstor.sys=1\r\n[SourceDisksFiles.amd64]\r\na.sys=1,x64\r\n" +
                 kCopy + "[Inst.NTamd64]\r\nCopyFiles=@a.sys\r\n",
             {"stor64.cat", "x64/a.sys=x86"},
             "Inst.NTamd64",
             {"drv\\x64\\a.sys"},
             {"driver-not-amd64"}},
            {"x86 entries and catalog are not read",
             head + "[SourceDisksFiles.x86]\r\nstor.sys=1\r\n" + kCopy,
             {"stor.cat", "stor.sys=x64"},
             "Inst",
             {"-"},
             {"payload-not-listed", "catalog-missing"}},
        },
        PayloadArch::Amd64);
}

}  // namespace
}  // namespace pkgcheck
