#include <gtest/gtest.h>

#include "install/Installer.h"
#include "pkgcheck/DryRun.h"

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

}  // namespace
}  // namespace pkgcheck
