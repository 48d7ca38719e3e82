#include <gtest/gtest.h>

#include "app/LauncherApp.h"
#include "install/Installer.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

using testing::FakePlatform;
using testing::ProcessEnded;
using Events = std::vector<std::string>;

TEST(ComposeInstallerCommand, ExactLineAndQuotingForBlanks) {
    FakePlatform fake;
    ByteString line(fake);
    ASSERT_TRUE(ComposeInstallerCommand(line, "C:\\pkg\\", "X\""));
    EXPECT_EQ(line.view(), "C:\\pkg\\install.exe C:\\pkg\\drv\\stordrv.inf \"PCI\\X\"");
    ASSERT_TRUE(ComposeInstallerCommand(line, "C:\\Program Files\\pkg\\", "VEN_1&DEV_2\""));
    EXPECT_EQ(line.view(),
              "\"C:\\Program Files\\pkg\\install.exe\" "
              "\"C:\\Program Files\\pkg\\drv\\stordrv.inf\" \"PCI\\VEN_1&DEV_2\"");
    ASSERT_TRUE(InstallerWindowTitle(line, "C:\\Program Files\\pkg\\"));
    EXPECT_EQ(line.view(), "C:\\Program Files\\pkg\\Install.exe");
}

class RunInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.installDir.Assign("D:\\pkg\\");
        app.deviceKey.Assign("stale\"");
        fake.files["D:\\pkg\\key.ini"] = "[ids]\r\nid=DEV_2922\r\n";
        fake.subkeys = {"VEN_8086&DEV_2922&SUBSYS_00000000&REV_02"};
    }
    FakePlatform fake;
    CLauncherApp app{fake};
};

TEST_F(RunInstallerTest, StartsHiddenThenChecksFirstAndPollsUntilTheWindowGoes) {
    fake.windowChecksFound = 3;
    app.RunInstaller();
    const std::string find = "find D:\\pkg\\Install.exe";
    // The tool inherits the error mode the launcher was started with.
    EXPECT_EQ(fake.events, (Events{"error mode of the start",
                                   "start 0 D:\\pkg\\install.exe D:\\pkg\\drv\\stordrv.inf "
                                   "\"PCI\\VEN_8086&DEV_2922&SUBSYS_00000000&REV_02\"",
                                   "sleep 500", find, "sleep 2000", find, "sleep 2000", find,
                                   "sleep 2000", find}));
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(RunInstallerTest, NoWindowAfterTheSettlingPauseEndsAtOnce) {
    app.RunInstaller();
    ASSERT_EQ(fake.events.size(), 4u);
    EXPECT_EQ(fake.events[2], "sleep 500");
    EXPECT_EQ(fake.events[3], "find D:\\pkg\\Install.exe");
}

TEST_F(RunInstallerTest, NoSupportedDeviceShowsWorryAndEndsWithoutStarting) {
    fake.subkeys = {"VEN_10DE&DEV_0001"};
    try {
        app.RunInstaller();
        FAIL() << "the process did not end";
    } catch (const ProcessEnded& end) {
        EXPECT_EQ(end.status, 0);
    }
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "Sorry!! We don't support this ID. \nYour ID are't Correctly!!");
    EXPECT_EQ(fake.boxes[0].caption, "Worry");
    EXPECT_EQ(fake.boxes[0].style, kMbOk);
    EXPECT_TRUE(fake.events.empty());
    EXPECT_EQ(app.deviceKey.view(), "");
}

}  // namespace
}  // namespace launcher
