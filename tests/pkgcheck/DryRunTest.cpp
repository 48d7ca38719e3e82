#include <gtest/gtest.h>

#include "install/Installer.h"
#include "pkgcheck/check/DryRun.h"
#include "probes/SupportedIds.h"
#include "tests/unit/IdTexts.h"

namespace pkgcheck {
namespace {

using Names = NameList;

const std::string kList = "[ids]\r\nid1=VEN_8086&DEV_2922\r\nid2=VEN_1002\r\n";

DryRun Replay(const std::optional<std::string>& list, const NameList& names,
              const std::string& dir = "C:\\pkg\\") {
    return ReplayLauncher(list, names, dir, launcher::CodePage::SingleByte());
}

TEST(ReplayLauncher, FirstSubkeyInOrderWinsAndTheCommandIsTheLaunchers) {
    const Names names = {"VEN_10DE&DEV_0001&SUBSYS_00000000&REV_A1",
                         "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02",
                         "VEN_1002&DEV_4150&SUBSYS_00000000&REV_00"};
    const DryRun run = Replay(kList, names);
    EXPECT_EQ(run.command,
              "C:\\pkg\\install.exe C:\\pkg\\drv\\stordrv.inf "
              "\"PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\"");
    EXPECT_EQ(run.boxCaption, "");
    EXPECT_EQ(run.chosen, 1);
    EXPECT_EQ(run.chosenEntry, 0);
    EXPECT_EQ(run.namesRead, 2);
    EXPECT_EQ(run.firstMatch, (std::vector<int>{-1, 0, 1}));

    EXPECT_EQ(Replay(kList, names, "D:\\my pkg\\").command,
              "\"D:\\my pkg\\install.exe\" \"D:\\my pkg\\drv\\stordrv.inf\" "
              "\"PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\"");
}

TEST(ReplayLauncher, NoMatchShowsTheWorryBox) {
    const DryRun run = Replay(kList, {"VEN_10DE&DEV_0001", "VEN_8086&DEV_2923"});
    EXPECT_EQ(run.command, "");
    EXPECT_EQ(run.boxCaption, launcher::kUnsupportedCaption);
    EXPECT_EQ(run.boxText, launcher::kUnsupportedText);
    EXPECT_EQ(run.chosen, -1);
    EXPECT_EQ(Replay(kList, {}).boxCaption, launcher::kUnsupportedCaption);
}

TEST(ReplayLauncher, NameTooLongForTheLaunchersBufferEndsTheScan) {
    const std::string fits = "VEN_8086&DEV_2922" + std::string(254 - 17, 'X');
    const std::string tooLong = "VEN_0000" + std::string(255 - 8, 'X');
    const DryRun ok = Replay(kList, {fits});
    EXPECT_EQ(ok.chosen, 0);
    EXPECT_EQ(ok.stoppedAt, -1);

    // The later subkey would match, but the launcher never gets there.
    const DryRun stopped = Replay(kList, {tooLong, "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02"});
    EXPECT_EQ(stopped.stoppedAt, 0);
    EXPECT_EQ(stopped.namesRead, 1);
    EXPECT_EQ(stopped.boxCaption, launcher::kUnsupportedCaption);
    EXPECT_EQ(stopped.firstMatch[1], 0);
}

TEST(ReplayLauncher, ReadsTheListAsTheLauncherDoes) {
    const Names names = {"VEN_1002&DEV_4150"};
    // Without key.ini the launcher says so, and no earlier replay's list
    // lingers.
    ASSERT_NE(Replay(kList, names).command, "");
    const DryRun missing = Replay(std::nullopt, names);
    EXPECT_EQ(missing.boxText, "key.ini not found !!");
    EXPECT_EQ(missing.boxCaption, "launcher");
    EXPECT_EQ(missing.firstMatch, std::vector<int>{-1});

    const std::string hidden("a=VEN_8086\r\n\0b=VEN_1002\r\n", 25);
    EXPECT_EQ(Replay(hidden, names).boxCaption, launcher::kUnsupportedCaption);
    EXPECT_EQ(Replay("a=VEN_8086\nb=VEN_1002\n", names).boxCaption, launcher::kUnsupportedCaption);
}

// A short list is compared entry by entry as the launcher does, a long one
// through an index; both must give what comparing every name with every
// entry gives, character boundaries of a double-byte code page included.
TEST(ReplayLauncher, ShortAndLongListsAgreeWithComparingEveryPair) {
    const auto sjis = launcher::CodePage::WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
    const std::string tooLong = "VEN_2000" + std::string(250, 'X');
    // \x81V is one double-byte character, so VEN_3000 does not start there.
    const std::vector<Names> fleets = {
        {"VEN_1000&DEV_0001", "VEN_3000&DEV_0002", "VEN_4000&DEV_0004"},
        {"VEN_1000&DEV_0001", tooLong, "VEN_3000&DEV_0002"},
        {"X\x81VEN_3000", "Y\x82VEN_3000&DEV_0002", "VEN_5000"},
        {"VEN_1000", "QZ", "VEN_1001"},
        {}};
    std::string shortList = "[ids]\r\nb=DEV_0002\r\na=VEN_3000\r\nc=VEN_3000\r\nd=VEN_4000&\r\n";
    std::string longList = shortList;
    for (int i = 0; i < 80; ++i) longList += "f=VEN_F" + std::to_string(100 + i) + "\r\n";
    longList += "g=Z\r\ne=\r\n";
    for (const std::string& list : {shortList, longList}) {
        for (const launcher::CodePage& cp : {launcher::CodePage::SingleByte(), sjis}) {
            const std::vector<std::string> entries = launcher::testing::ParseSupportedIds(list, cp);
            for (const Names& names : fleets) {
                std::vector<int> first;
                std::size_t end = names.size();
                for (std::size_t i = 0; i < names.size(); ++i) {
                    int match = -1;
                    for (std::size_t j = 0; j < entries.size() && match < 0; ++j)
                        if (launcher::ContainsAtBoundary(names[i], entries[j], cp))
                            match = static_cast<int>(j);
                    first.push_back(match);
                    if (end == names.size() && (names[i].size() >= 255 || match >= 0)) end = i;
                }
                const bool chosen = end < names.size() && names[end].size() < 255;
                const std::string what = std::to_string(entries.size()) + " entries, " +
                                         (names.empty() ? "no names" : std::string(names[0]));
                const DryRun run = ReplayLauncher(list, names, "C:\\pkg\\", cp);
                EXPECT_EQ(run.firstMatch, first) << what;
                EXPECT_EQ(run.chosen, chosen ? static_cast<int>(end) : -1) << what;
                EXPECT_EQ(run.chosenEntry, chosen ? first[end] : -1) << what;
                EXPECT_EQ(run.namesRead, static_cast<int>(std::min(end + 1, names.size()))) << what;
                EXPECT_EQ(run.stoppedAt, end < names.size() && !chosen ? static_cast<int>(end) : -1)
                    << what;
                EXPECT_EQ(run.command.empty(), !chosen) << what;
            }
        }
    }
}

}  // namespace
}  // namespace pkgcheck
