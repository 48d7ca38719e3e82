#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "pkgcheck/inf/Inf.h"
#include "pkgcheck/package/InfCross.h"
#include "pkgcheck/package/WriteList.h"
#include "pkgcheck/read/Ansi.h"
#include "pkgcheck/read/Text.h"
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

Strings Ids(const InfContents& inf) {
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
                            "NTx86.5.2.1", "NTx86..1", "NTx86.5.1.1.0x100", "NTx86....0x200"})
        EXPECT_TRUE(DecorationAppliesToX86Nt5(yes)) << yes;
    // Server product types and suites no XP has (Datacenter) are for other
    // systems.
    for (const char* no : {"NTamd64", "NTia64.5.2", "NTx86.6.0", "NT.10.0", "NTarm64", "Win95",
                           "NTx86.5.1.3", "NT.5.1.2", "NTx86....0x80", "NTx86.5.1.1.0x102"})
        EXPECT_FALSE(DecorationAppliesToX86Nt5(no)) << no;
}

TEST(ReadInf, CollectsPciIdsOfTheX86Nt5ModelSections) {
    const InfContents inf = ReadInf(kInf, "drv\\stordrv.inf");
    ASSERT_EQ(inf.error, "");
    EXPECT_EQ(inf.encoding, "ANSI");
    EXPECT_EQ(inf.sections, (Strings{"Storage", "Storage.NTx86", "storage.ntx86.5.1"}));
    EXPECT_EQ(Ids(inf), (Strings{"PCI\\VEN_8086&DEV_2920", "PCI\\VEN_8086&DEV_2922&SUBSYS_00000000",
                                 "PCI\\CC_0106", "pci\\ven_8086&dev_2923"}));
    EXPECT_EQ(inf.ids[3].line, 16);  // where the continued line starts
    // [NT.5.2] and [Other] are named but absent; x64 NT 5.2 and NT 6.0 get
    // models of their own.
    EXPECT_EQ(Kinds(inf.warnings),
              (Strings{"inf-missing-section", "inf-missing-section", "inf-other-target",
                       "inf-other-target", "inf-x64-missing"}));
    EXPECT_NE(inf.warnings[1].message.find("[Other]"), std::string::npos);
    ASSERT_EQ(inf.otherSections.size(), 2u);
    EXPECT_EQ(inf.otherSections[1].name + " " + inf.otherSections[1].serves,
              "Storage.NTx86.6.0 x86, NT 6.0 and later");
    EXPECT_NE(inf.warnings[4].message.find("[Storage.NTamd64] (x64) lacks 4 PCI IDs that x86 NT "
                                           "5.x has (PCI\\VEN_8086&DEV_2920, "),
              std::string::npos)
        << inf.warnings[4].message;
}

TEST(ReadInf, ReadsUtf16AsTheSameFile) {
    const InfContents inf = ReadInf(testing::Utf16Le(kInf), "drv\\stordrv.inf");
    EXPECT_EQ(inf.encoding, "UTF-16LE");
    EXPECT_EQ(Ids(inf), Ids(ReadInf(kInf, "x")));
    EXPECT_NE(ReadInf(std::string("\xFF\xFE[\0V", 5), "x").error, "");
    EXPECT_EQ(ReadInf("[Version]\r\n", "x").errors[0].kind, "inf-no-manufacturer");
}

struct InfCase {
    const char* what;
    std::string bytes;
    Strings ids;
    Strings kinds;
    std::string said = "";  // part of a warning
};

// INF files as they are written: the syntax, and the platforms offered.
std::vector<InfCase> InfCases() {
    const std::string maker = "[Manufacturer]\r\n%Maker% = Models, NTx86, NTamd64\r\n";
    const std::string models =
        "[Models.NTx86]\r\n%Desc% = Install, %HWID%, %Compat%\r\n"
        "[Models.NTamd64]\r\n%Desc% = Install, %HWID%, %Compat%\r\n";
    const std::string strings =
        "[Strings]\r\nHWID = \"PCI\\VEN_8086&DEV_2922\" ; quoted\r\n"
        "[Strings.0407]\r\nhwid = PCI\\VEN_0000\r\nCompat = \"pci\\CC_01\"\"06\"\r\n";
    const std::string plain = maker + models + strings;
    std::string crOnly;
    for (const char c : plain)
        if (c != '\n') crOnly += c;
    const Strings both = {"PCI\\VEN_8086&DEV_2922", "pci\\CC_01\"06"};
    const std::string win7 =
        "[Manufacturer]\r\n%Intel% = Intel, NTx86.6.1.1, NTx86.6.2\r\n"
        "[Intel.NTx86.6.1.1]\r\nD = I, PCI\\VEN_8086&DEV_150E\r\n"
        "[Intel.NTx86.6.2]\r\nD = I, PCI\\VEN_8086&DEV_150E\r\n";
    return {
        // [Strings] wins over [Strings.0407]; keys ignore case; "" is a quote.
        {"%strkey% IDs", plain, both, {}},
        {"%strkey% decoration",
         "[Manufacturer]\r\nM = Models, %Target%, NTamd64\r\n" + models + strings +
             "Target = NTx86\r\n",
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
         {"inf-unstamped", "inf-no-pci-ids"},
         "its 1 PCI ID is in [Models.NT$ARCH$] (an unstamped $ARCH$ template, for no platform), "
         "not in [Models], which 2000 and XP read"},
        {"models for NT 6.1 and later only",
         win7,
         {},
         {"inf-no-pci-ids"},
         "[Intel.NTx86.6.1.1] (x86, NT 6.1 and later, workstations) and [Intel.NTx86.6.2] (x86, "
         "NT 6.2 and later), not in [Intel], which 2000 and XP read"},
        {"64-bit models only",
         "[Manufacturer]\r\nM = Models, NTamd64, NTia64\r\n[Models.NTamd64]\r\nD = I, "
         "PCI\\VEN_1\r\n[Models.NTia64]\r\nD = I, PCI\\VEN_1, PCI\\VEN_2\r\n",
         {},
         {"inf-no-pci-ids"},
         "its 2 PCI IDs are in [Models.NTamd64] (x64) and [Models.NTia64] (Itanium)"},
        {"a build of NT 10.0",
         "[Manufacturer]\r\nM = Models, NTx86.10.0...16299\r\n[Models.NTx86.10.0...16299]\r\n"
         "D = I, PCI\\VEN_1\r\n",
         {},
         {"inf-no-pci-ids"},
         "(x86, NT 10.0 build 16299 and later)"},
        {"an ID for NT 6.0 and later only",
         plain + "[Models.NTx86.6.0]\r\nD = I, PCI\\VEN_8086&DEV_2929\r\n[Manufacturer]\r\n"
                 "M2 = Models, NTx86.6.0\r\n",
         both,
         {"inf-other-target"},
         "PCI\\VEN_8086&DEV_2929 is in [Models.NTx86.6.0] (x86, NT 6.0 and later), not in [Models] "
         "or [Models.NTx86], which 2000 and XP read"},
        {"x64 models for NT 6.1 and later only",
         "[Manufacturer]\r\nM = Models, NTx86, NTamd64.6.1\r\n[Models.NTx86]\r\nD = I, "
         "PCI\\VEN_1000\r\n[Models.NTamd64.6.1]\r\nD = I, PCI\\VEN_1000\r\n",
         {"PCI\\VEN_1000"},
         {"inf-x64-missing"},
         "no model section serves x64 NT 5.2 (a [Manufacturer] decoration NTamd64 or "
         "NTamd64.5.2); [Models.NTamd64.6.1] (x64, NT 6.1 and later) comes too late: the launcher "
         "goes on under NT 5.2, so on XP x64 and Server 2003 x64 it runs under WOW64"},
        // Some IDs make no entry of --write-list, or need none.
        {"IDs the substring match cannot all stand for",
         "[Manufacturer]\r\nM = Models\r\n[Models]\r\nD = I, pci\\ven_8086&dev_2922&rev_02, "
         "PCI\\VEN_8086&DEV_2922&SUBSYS_00000000, PCI\\VEN_8086&DEV_2922, "
         "\"PCI\\VEN_8086&DEV_2923=4\", PCI\\CC_0106, PCI\\VEN_8086&DEV_292, "
         "PCI\\VEN_8086&DEV_2924&SUBSYS_00000000&REV_01\r\n",
         {"pci\\ven_8086&dev_2922&rev_02", "PCI\\VEN_8086&DEV_2922&SUBSYS_00000000",
          "PCI\\VEN_8086&DEV_2922", "PCI\\VEN_8086&DEV_2923=4", "PCI\\CC_0106",
          "PCI\\VEN_8086&DEV_292", "PCI\\VEN_8086&DEV_2924&SUBSYS_00000000&REV_01"},
         {"inf-x64-missing"}},
        // A wider ID for x64 serves the device of a narrower one for x86.
        {"x64 models lack an ID",
         "[Manufacturer]\r\nM = Models, NTx86, NTamd64.5.2\r\n[Models.NTx86]\r\nD = I, "
         "PCI\\VEN_1000&DEV_0002, PCI\\VEN_1000&DEV_0003, "
         "PCI\\VEN_1000&DEV_0004&SUBSYS_00000000&REV_01\r\n"
         "[Models.NTamd64.5.2]\r\nD = I, PCI\\VEN_1000&DEV_0002, pci\\ven_1000&dev_0004&rev_01\r\n",
         {"PCI\\VEN_1000&DEV_0002", "PCI\\VEN_1000&DEV_0003",
          "PCI\\VEN_1000&DEV_0004&SUBSYS_00000000&REV_01"},
         {"inf-other-target", "inf-x64-missing"},
         "[Models.NTamd64.5.2] (x64, NT 5.2 and later) lacks 1 PCI ID that x86 NT 5.x has "
         "(PCI\\VEN_1000&DEV_0003)"},
    };
}

TEST(ReadInf, ReadsTheSyntaxRealFilesUseAndSaysWhyNothingIsFound) {
    for (const InfCase& c : InfCases()) {
        const InfContents inf = ReadInf(c.bytes, "drv\\stordrv.inf");
        EXPECT_EQ(inf.error, "") << c.what;
        EXPECT_EQ(Ids(inf), c.ids) << c.what;
        // Warnings, then the errors of an INF that installs nothing.
        std::vector<Finding> findings = inf.warnings;
        findings.insert(findings.end(), inf.errors.begin(), inf.errors.end());
        EXPECT_EQ(Kinds(findings), c.kinds) << c.what;
        std::string messages;
        for (const Finding& f : findings) messages += f.message + "\n";
        EXPECT_NE(messages.find(c.said), std::string::npos) << c.what << ": " << messages;
    }
}

std::string ExampleFile(const std::string& path) {
    std::ifstream in(std::string(PKGCHECK_SOURCE_DIR) + "/examples/package/" + path,
                     std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

Strings EntriesOf(const std::string& list) {
    Strings entries;
    for (const ListEntry& e : LocateEntries(list, launcher::CodePage::SingleByte()))
        entries.push_back(list.substr(e.offset, e.length));
    std::sort(entries.begin(), entries.end());
    return entries;
}

// What --write-list writes passes the check of the same INF: every entry
// matches it, and an ID no entry covers is one its comments name.
TEST(WriteListFromInf, PassesTheCheckOfItsOwnInf) {
    const std::string exampleInf = ExampleFile("drv/stordrv.inf");
    std::vector<std::pair<std::string, std::string>> infs = {{"kInf", kInf},
                                                             {"example", exampleInf}};
    for (const InfCase& c : InfCases()) infs.emplace_back(c.what, c.bytes);
    const launcher::CodePage cp = launcher::CodePage::SingleByte();
    for (const auto& [what, bytes] : infs) {
        const InfContents inf = ReadInf(bytes, "drv\\stordrv.inf");
        if (inf.ids.empty()) continue;
        const WrittenList written = WriteListFromInf(inf, "drv\\stordrv.inf");
        EXPECT_EQ(written.text.compare(0, 16, "[SupportedIDs]\r\n"), 0) << what;
        const ListFile list = ReadList(written.text, cp, "key.ini");
        EXPECT_GT(written.entries, 0u) << what;
        EXPECT_EQ(list.entries.size(), written.entries) << what;
        EXPECT_EQ(Kinds(list.warnings), Strings{}) << what << "\n" << written.text;
        const CrossCheck cross = CrossCheckInf(list, inf, cp, "key.ini", "drv\\stordrv.inf");
        EXPECT_EQ(cross.entryMatchesInf, std::vector<bool>(list.entries.size(), true)) << what;
        for (std::size_t j = 0; j < inf.ids.size(); ++j) {
            const bool named = std::count(written.leftOut.begin(), written.leftOut.end(), j) > 0;
            std::string shown = Visible(inf.Id(j));
            for (std::size_t at = shown.find('='); at != std::string::npos; at = shown.find('='))
                shown.replace(at, 1, "<3D>");
            if (cross.coveringEntry[j] < 0) {
                EXPECT_TRUE(named) << what << ": " << inf.Id(j);
            }
            if (named) {
                EXPECT_NE(written.text.find("\r\n; " + shown + " "), std::string::npos)
                    << what << ": " << shown << "\n"
                    << written.text;
            }
        }
    }
    EXPECT_EQ(EntriesOf(WriteListFromInf(ReadInf(exampleInf, "x"), "x").text),
              EntriesOf(ExampleFile("key.ini")));
}

TEST(CrossCheckInf, ComparesCaseSensitivelyWithWindowsNames) {
    const InfContents inf = ReadInf(kInf, "drv\\stordrv.inf");
    const ListFile list = ReadList(
        "a=VEN_8086&DEV_2923\rb=ven_8086&dev_2920\rc=VEN_8086&DEV_2920&SUBSYS_1\rd=VEN_1002\r"
        "e=VEN_8086&DEV_2929\rf=VEN_8086&DEV_2928&SUBSYS_1",
        launcher::CodePage::SingleByte(), "key.ini");
    const CrossCheck cross =
        CrossCheckInf(list, inf, launcher::CodePage::SingleByte(), "key.ini", "drv\\stordrv.inf");
    // The INF's lower-case ID stands for an upper-case device name; the
    // lower-case entry covers nothing; a narrower entry fits the INF but
    // leaves the rest of its ID uncovered.
    EXPECT_EQ(cross.entryMatchesInf, (std::vector<bool>{true, false, true, false, false, false}));
    EXPECT_EQ(cross.coveringEntry, (std::vector<int>{-1, -1, -1, 0}));
    Strings kinds;
    for (const Finding& f : cross.warnings) kinds.push_back(f.kind + ":" + std::to_string(f.line));
    // Entries for the x64 and NT 6.0 models are told where those stand.
    EXPECT_EQ(kinds, (Strings{"entry-not-in-inf:2", "entry-not-in-inf:4", "inf-other-target:5",
                              "inf-other-target:6", "inf-id-not-covered:10",
                              "inf-id-not-covered:13", "inf-id-not-covered:13"}));
    EXPECT_EQ(cross.warnings[2].message.substr(0, 60),
              "VEN_8086&DEV_2929 is in [Storage.NTamd64] (x64), not in [Sto");
    EXPECT_NE(cross.warnings[3].message.find("[Storage.NTx86.6.0] (x86, NT 6.0 and later)"),
              std::string::npos);
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
        const InfContents inf =
            ReadInf("[Manufacturer]\r\nM=Models\r\n[Models]\r\nD=I," + c.ids + "\r\n", "x");
        const CrossCheck cross = CrossCheckInf(ReadList(c.list, c.cp, "k"), inf, c.cp, "k", "x");
        EXPECT_EQ(cross.entryMatchesInf, c.matches) << c.what;
        EXPECT_EQ(cross.coveringEntry, c.covering) << c.what;
    }
}

}  // namespace
}  // namespace pkgcheck
