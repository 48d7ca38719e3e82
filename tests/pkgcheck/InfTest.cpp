#include <gtest/gtest.h>

#include "pkgcheck/Check.h"
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
    for (std::size_t j = 0; j < inf.ids.size(); ++j) ids.emplace_back(inf.Id(j));
    return ids;
}

Strings Kinds(const std::vector<Finding>& findings) {
    Strings kinds;
    for (const Finding& f : findings) kinds.push_back(f.kind);
    return kinds;
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

TEST(ReadInf, ReadsTheSyntaxRealFilesUseAndSaysWhyNothingIsFound) {
    const std::string maker = "[Manufacturer]\r\n%Maker% = Models, NTx86\r\n";
    const std::string models = "[Models.NTx86]\r\n%Desc% = Install, %HWID%, %Compat%\r\n";
    const std::string strings =
        "[Strings]\r\nHWID = \"PCI\\VEN_8086&DEV_2922\" ; quoted\r\n"
        "[Strings.0407]\r\nhwid = PCI\\VEN_0000\r\nCompat = \"pci\\CC_01\"\"06\"\r\n";
    const std::string plain = maker + models + strings;
    std::string crOnly;
    for (const char c : plain)
        if (c != '\n') crOnly += c;
    const Strings both = {"PCI\\VEN_8086&DEV_2922", "pci\\CC_01\"06"};
    struct Case {
        const char* what;
        std::string bytes;
        Strings ids;
        Strings kinds;
    } const cases[] = {
        // [Strings] wins over [Strings.0407]; keys ignore case; "" is a quote.
        {"%strkey% IDs", plain, both, {}},
        {"%strkey% decoration",
         "[Manufacturer]\r\nM = Models, %Target%\r\n" + models + strings + "Target = NTx86\r\n",
         both,
         {}},
        {"UTF-16LE without mark", testing::Utf16Le(plain).substr(2), both, {"inf-no-bom"}},
        {"CR line ends", crOnly, {}, {"inf-cr-line-ends", "inf-no-pci-ids"}},
        {"one stray CR",
         maker + "; x\rM2 = Other\r\n" + models + strings,
         both,
         {"inf-cr-line-ends"}},
        {"unstamped template",
         "[Manufacturer]\r\n%Maker% = Models, NT$ARCH$, NT$ARCH$.6.0\r\n"
         "[Models.NT$ARCH$]\r\nD = I, PCI\\VEN_8086\r\n",
         {},
         {"inf-unstamped", "inf-no-pci-ids"}},
    };
    for (const Case& c : cases) {
        const InfCheck inf = ReadInf(c.bytes, "drv\\stordrv.inf");
        EXPECT_EQ(inf.error, "") << c.what;
        EXPECT_EQ(Ids(inf), c.ids) << c.what;
        EXPECT_EQ(Kinds(inf.warnings), c.kinds) << c.what;
    }
}

TEST(CrossCheckInf, ComparesCaseSensitivelyWithWindowsNames) {
    const InfCheck inf = ReadInf(kInf, "drv\\stordrv.inf");
    const ListCheck list = CheckList(
        "a=VEN_8086&DEV_2923\rb=ven_8086&dev_2920\rc=VEN_8086&DEV_2920&SUBSYS_1\rd=VEN_1002",
        launcher::CodePage::SingleByte(), "key.ini");
    const CrossCheck cross =
        CrossCheckInf(list, inf, launcher::CodePage::SingleByte(), "key.ini", "drv\\stordrv.inf");
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

TEST(CrossCheckInf, MatchesOnlyAtCharacterBoundariesAndNeverABarePrefix) {
    launcher::CodePage sjis;
    ASSERT_TRUE(CodePageFor(932, &sjis));
    const launcher::CodePage ansi = launcher::CodePage::SingleByte();
    struct Case {
        const char* what;
        const launcher::CodePage& cp;
        std::string list;
        std::string ids;  // model fields after the install section
        std::vector<bool> matches;
        std::vector<int> covering;
    } const cases[] = {
        {"bare PCI\\", ansi, "a=VEN_8086\rb=", "PCI\\", {false, false}, {-1}},
        // In 932, 0x81 'V' is one character, so VEN_1 starts at no boundary.
        {"covers in 1252", ansi, "a=VEN_1", "PCI\\\x81VEN_1", {true}, {0}},
        {"covers in 932", sjis, "a=VEN_1", "PCI\\\x81VEN_1", {false}, {-1}},
        {"holds in 1252", ansi, "a=\x81VEN_1", "PCI\\VEN_1", {true}, {-1}},
        {"holds in 932", sjis, "a=\x81VEN_1", "PCI\\VEN_1", {false}, {-1}},
        {"first of duplicates",
         ansi,
         "a=VEN_2\rb=VEN_1\rc=VEN_1",
         "PCI\\VEN_1&DEV_2, PCI\\VEN_2",
         {true, true, true},
         {1, 0}},
        {"long entry", ansi, "a=" + std::string(300, 'X') + "VEN_1", "PCI\\VEN_1", {true}, {-1}},
    };
    for (const Case& c : cases) {
        const InfCheck inf =
            ReadInf("[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I," + c.ids + "\r\n", "x");
        const CrossCheck cross = CrossCheckInf(CheckList(c.list, c.cp, "k"), inf, c.cp, "k", "x");
        EXPECT_EQ(cross.entryMatchesInf, c.matches) << c.what;
        EXPECT_EQ(cross.coveringEntry, c.covering) << c.what;
    }
}

}  // namespace
}  // namespace pkgcheck
