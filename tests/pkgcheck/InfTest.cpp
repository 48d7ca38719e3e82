#include <gtest/gtest.h>

#include "pkgcheck/Inf.h"
#include "tests/pkgcheck/Fixtures.h"

namespace pkgcheck {
namespace {

using Strings = std::vector<std::string>;

// Two makers; only some of the decorated sections serve x86 NT 5.x.
constexpr const char* kInf =
    "; storage driver\r\n"
    "[Version]\r\n"
    "Signature=\"$Windows NT$\"\r\n"
    "\r\n"
    "[Manufacturer]\r\n"
    "%Maker% = %ModelsName%, NTx86, NTx86.5.1, NTamd64, NTx86.6.0, NT.5.2 ; newer ones "
    "elsewhere\r\n"
    "%Other% = Other\r\n"
    "\r\n"
    "[Storage]\r\n"
    "%Desc% = Install, PCI\\VEN_8086&DEV_2920\r\n"
    "\r\n"
    "[Storage.NTx86]\r\n"
    "%Desc% = Install, PCI\\VEN_8086&DEV_2922&SUBSYS_00000000, PCI\\CC_0106 ; \"quoted;\"\r\n"
    "\r\n"
    "[storage.ntx86.5.1]\r\n"
    "\"A; B\" = Install, \\\r\n"
    "    pci\\ven_8086&dev_2923\r\n"
    "%Desc% = Install, PCI\\VEN_8086&DEV_2920, ACPI\\PNP0600\r\n"
    "\r\n"
    "[Storage.NTamd64]\r\n"
    "%Desc% = Install, PCI\\VEN_8086&DEV_2929\r\n"
    "\r\n"
    "[Storage.NTx86.6.0]\r\n"
    "%Desc% = Install, PCI\\VEN_8086&DEV_2928\r\n"
    "\r\n"
    "[Strings]\r\n"
    "Maker = \"Maker\"\r\n"
    "ModelsName = \"Storage\"\r\n";

Strings Ids(const InfCheck& inf) {
    Strings ids;
    for (const InfHardwareId& id : inf.ids) ids.push_back(id.id);
    return ids;
}

TEST(DecorationAppliesToX86Nt5, TakesNtAndX86UpToVersion5) {
    for (const char* yes : {"NT", "NTx86", "ntx86", "NTx86.5.1", "NT.5.1", "NTx86.5.0", "NTx86.5",
                            "NTx86.5.2.1", "NTx86..1"})
        EXPECT_TRUE(DecorationAppliesToX86Nt5(yes)) << yes;
    for (const char* no : {"NTamd64", "NTia64.5.2", "NTx86.6.0", "NT.10.0", "NTarm64", "Win95"})
        EXPECT_FALSE(DecorationAppliesToX86Nt5(no)) << no;
}

TEST(ReadInf, CollectsPciIdsOfTheX86Nt5ModelSections) {
    const InfCheck inf = ReadInf(kInf, "drv\\stordrv.inf");
    ASSERT_EQ(inf.error, "");
    EXPECT_EQ(inf.encoding, "ANSI");
    EXPECT_EQ(inf.sections, (Strings{"Storage", "Storage.NTx86", "storage.ntx86.5.1"}));
    EXPECT_EQ(Ids(inf), (Strings{"PCI\\VEN_8086&DEV_2920", "PCI\\VEN_8086&DEV_2922&SUBSYS_00000000",
                                 "PCI\\CC_0106", "pci\\ven_8086&dev_2923"}));
    EXPECT_EQ(inf.ids[3].line, 16);  // where the continued line starts
    // [NT.5.2] and [Other] are named but absent.
    ASSERT_EQ(inf.warnings.size(), 2u);
    EXPECT_EQ(inf.warnings[0].kind, "inf-missing-section");
    EXPECT_NE(inf.warnings[1].message.find("[Other]"), std::string::npos);
}

TEST(ReadInf, ReadsUtf16AsTheSameFile) {
    const InfCheck inf = ReadInf(testing::Utf16Le(kInf), "drv\\stordrv.inf");
    EXPECT_EQ(inf.encoding, "UTF-16LE");
    EXPECT_EQ(Ids(inf), Ids(ReadInf(kInf, "x")));
    EXPECT_NE(ReadInf(std::string("\xFF\xFE[\0V", 5), "x").error, "");
    EXPECT_EQ(ReadInf("[Version]\r\n", "x").warnings[0].kind, "inf-no-manufacturer");
}

TEST(CrossCheckInf, ComparesCaseSensitivelyWithWindowsNames) {
    const InfCheck inf = ReadInf(kInf, "drv\\stordrv.inf");
    std::vector<ListEntry> entries;
    for (const char* text :
         {"VEN_8086&DEV_2923", "ven_8086&dev_2920", "VEN_8086&DEV_2920&SUBSYS_1", "VEN_1002"})
        entries.push_back({text, 0, static_cast<int>(entries.size() + 1), 0});
    const CrossCheck cross = CrossCheckInf(entries, inf, launcher::CodePage::SingleByte(),
                                           "key.ini", "drv\\stordrv.inf");
    // The INF's lower-case ID stands for an upper-case device name; the
    // lower-case entry covers nothing; a narrower entry fits the INF but
    // leaves the rest of its ID uncovered.
    EXPECT_EQ(cross.entryMatchesInf, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(cross.coveringEntry, (std::vector<int>{-1, -1, -1, 0}));
    Strings kinds;
    for (const Finding& f : cross.warnings) kinds.push_back(f.kind + ":" + std::to_string(f.line));
    EXPECT_EQ(kinds, (Strings{"entry-not-in-inf:2", "entry-not-in-inf:4", "inf-id-not-covered:10",
                              "inf-id-not-covered:13", "inf-id-not-covered:13"}));
}

}  // namespace
}  // namespace pkgcheck
