#include <gtest/gtest.h>

#include <algorithm>

#include "pkgcheck/package/ListFile.h"

namespace pkgcheck {
namespace {

using Kinds = std::vector<std::string>;

ListFile Check(std::string_view bytes) {
    return ReadList(std::string(bytes), launcher::CodePage::SingleByte(), "key.ini");
}

// The warning kinds raised for entry `entry` (1-based), or for the file as a
// whole with 0.
Kinds KindsFor(const ListFile& check, int entry) {
    Kinds kinds;
    for (const Finding& f : check.warnings)
        if (f.entry == entry) kinds.push_back(f.kind);
    return kinds;
}

TEST(LocateEntries, GivesEachEntryTheLinesItComesFrom) {
    const ListFile crlf = Check("[ids]\r\nid1=VEN_8086\r\n; note\r\nid2=DEV_2922\r\n");
    ASSERT_EQ(crlf.entries.size(), 2u);
    EXPECT_EQ(crlf.entries[0].line, 2);
    EXPECT_EQ(crlf.entries[1].line, 4);
    EXPECT_EQ(crlf.entries[1].offset, 33u);

    // LF alone ends no entry, so lines 2-4 are one entry.
    const ListFile lf = Check("[ids]\nid1=VEN_8086\nid2=DEV_2922\nid3=VEN_1002\n");
    ASSERT_EQ(lf.entries.size(), 1u);
    EXPECT_EQ(lf.entries[0].line, 2);
    EXPECT_EQ(lf.entries[0].lastLine, 4);

    const ListFile cr = Check("a=1\rb=2\rc=3");
    ASSERT_EQ(cr.entries.size(), 3u);
    EXPECT_EQ(cr.entries[2].line, 3);
}

TEST(LocateEntries, FollowsTheLaunchersReadingOfDoubleByteText) {
    // 0x81 0x3D is one character whose trail byte looks like '='; the
    // launcher's first entry then starts on line 2, though line 1 also reads
    // "=v" up to its CR.
    const std::string text = "k\x81=v\r\nb=v\r\n";
    const auto sjis = LocateEntries(text, launcher::CodePage::WithLeadRanges({{0x81, 0x9F}}));
    ASSERT_EQ(sjis.size(), 1u);
    EXPECT_EQ(sjis[0].line, 2);
    EXPECT_EQ(LocateEntries(text, launcher::CodePage::SingleByte()).size(), 2u);
}

TEST(ReadList, CleanListRaisesNothing) {
    const ListFile check =
        Check("[ids]\r\nid1=VEN_8086&DEV_2922\r\nid2=VEN_1002\r\nid3=DEV_4150&SUBSYS_00000000\r\n");
    EXPECT_EQ(check.entries.size(), 3u);
    EXPECT_TRUE(check.warnings.empty());
}

TEST(ReadList, NamesEachTrapOfAnEntry) {
    const std::string huge = "ven_8086" + std::string(300, 'X');
    const ListFile check = Check(
        "a=\r\n"                          // 1: matches every device
        "b= VEN_8086\r\n"                 // 2
        "c=VEN_8086&dev_2922\r\n"         // 3
        "d=VEN_8086&DEV_292\r\n"          // 4
        "e=VEN_8086 \r\n"                 // 5
        "f=VEN_1002\r\n"                  // 6
        "g=VEN_1002\r\n"                  // 7
        "h=PCI\\VEN_8086\r\n"             // 8
        "i=VEN_8086&DEV_2922&REV_02\r\n"  // 9
        "j=ven_8086&dev_29 \r\n"          // 10
        "k=" +
        huge + "\r\n" +         // 11
        "l=VEN_1002\r\n" +      // 12: the first one it repeats is named
        "m=" + huge + "\r\n");  // 13
    EXPECT_EQ(KindsFor(check, 1), Kinds{"empty-entry"});
    EXPECT_EQ(KindsFor(check, 2), Kinds{"blanks"});
    EXPECT_EQ(KindsFor(check, 3), Kinds{"lower-case"});
    EXPECT_EQ(KindsFor(check, 4), Kinds{"partial-token"});
    EXPECT_EQ(KindsFor(check, 5), Kinds{"blanks"});
    EXPECT_EQ(KindsFor(check, 6), Kinds{});
    EXPECT_EQ(KindsFor(check, 7), Kinds{"duplicate"});
    EXPECT_EQ(KindsFor(check, 8), Kinds{"cannot-match"});
    EXPECT_EQ(KindsFor(check, 9), Kinds{"cannot-match"});
    EXPECT_EQ(KindsFor(check, 10), (Kinds{"blanks", "lower-case", "partial-token"}));
    EXPECT_EQ(KindsFor(check, 11), (Kinds{"lower-case", "cannot-match"}));
    EXPECT_EQ(KindsFor(check, 12), Kinds{"duplicate"});
    EXPECT_EQ(KindsFor(check, 13), (Kinds{"lower-case", "duplicate", "cannot-match"}));
    std::string duplicates;
    for (const Finding& f : check.warnings) {
        EXPECT_EQ(f.line, f.entry) << f.kind;
        // Quoted entries are cut to their ends and length.
        EXPECT_LT(f.message.size(), 300u) << f.kind;
        if (f.kind == "duplicate") duplicates += f.message + "; ";
    }
    EXPECT_EQ(duplicates,
              "same bytes as entry 6 on line 6; same bytes as entry 6 on line 6; same bytes as "
              "entry 11 on line 11; ");
    EXPECT_NE(check.warnings.back().message.find("VEN_8086XXX"), std::string::npos);
    EXPECT_NE(check.warnings.back().message.find("XXX (308 bytes)"), std::string::npos);
}

TEST(ReadList, LfLineEndsMergeLinesIntoOneEntry) {
    const ListFile check = Check("[ids]\nid1=VEN_8086\nid2=VEN_1002\n");
    EXPECT_EQ(KindsFor(check, 1), Kinds{"lf-line-ends"});
    EXPECT_NE(check.warnings[0].message.find("lines 2-3"), std::string::npos);
    // A final LF-ended line alone still carries its LF.
    EXPECT_EQ(KindsFor(Check("a=VEN_8086\r\nb=VEN_1002\n"), 2), Kinds{"lf-line-ends"});
}

TEST(ReadList, NulHidesTheRestAndAnEmptyListIsNamed) {
    const ListFile nul = Check(std::string("a=VEN_8086\r\n\0b=VEN_1002\r\n", 25));
    EXPECT_EQ(nul.entries.size(), 1u);
    EXPECT_EQ(nul.nulOffset, 12u);
    EXPECT_EQ(KindsFor(nul, 0), Kinds{"nul-byte"});
    EXPECT_EQ(nul.warnings[0].line, 2);

    // Saved as Unicode, the list ends at the first NUL and has no entry.
    const std::string utf16(
        "\xFF\xFE"
        "a\0=\0V\0",
        8);
    const ListFile unicode = Check(utf16);
    EXPECT_EQ(KindsFor(unicode, 0), (Kinds{"nul-byte", "no-entries"}));
    EXPECT_NE(unicode.warnings[0].message.find("UTF-16"), std::string::npos);

    EXPECT_EQ(KindsFor(Check("[ids]\r\nno equals here\r\n"), 0), Kinds{"no-entries"});
}

TEST(JudgeShape, WholeTokensFitAndAreNotPartial) {
    for (const char* whole :
         {"VEN_8086", "VEN_8086&DEV_2922", "DEV_2922&SUBSYS_00000000&REV_02", "&DEV_2922",
          "VEN_8086&DEV_2922&SUBSYS_12345678&REV_0A", "8086&DEV_2922"}) {
        const EntryShape shape = JudgeShape(whole);
        EXPECT_TRUE(shape.canMatch) << whole;
        EXPECT_EQ(shape.partial, "") << whole;
    }
}

TEST(JudgeShape, PartialValuesSayWhatElseTheyMatch) {
    EXPECT_NE(JudgeShape("VEN_8086&DEV_292").partial.find("DEV_2920 to DEV_292F"),
              std::string::npos);
    EXPECT_NE(JudgeShape("SUBSYS_1234").partial.find("SUBSYS_12340000 to SUBSYS_1234FFFF"),
              std::string::npos);
    EXPECT_NE(JudgeShape("086&DEV_2922").partial.find("VEN_ value ending in 086"),
              std::string::npos);
    // Fits whole as VEN_ or DEV_, but also inside a SUBSYS_ value.
    EXPECT_NE(JudgeShape("8086").partial.find("SUBSYS_"), std::string::npos);
    EXPECT_NE(JudgeShape("29").partial, "");
}

TEST(JudgeShape, ShapesNoSubkeyNameHasCannotMatch) {
    for (const char* never :
         {"PCI\\VEN_8086", "VEN_8086&DEV_2922&REV_02", "VEN_808G", "ven_8086", "VEN_8086&&DEV_2922",
          "VEN_8086&DEV_2922&CC_0106", "VEN_8086&DEV_2922&SUBSYS_12345678&REV_0AB"})
        EXPECT_FALSE(JudgeShape(never).canMatch) << never;
}

}  // namespace
}  // namespace pkgcheck
