#include <gtest/gtest.h>

#include "app/LauncherApp.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

using testing::FakePlatform;
using testing::ProcessEnded;

// Code page 932: these lead bytes take trail bytes up to 0xFC, 0x5C among them.
void UseCodePage932(FakePlatform& fake) {
    for (int b = 0x81; b <= 0x9F; ++b) fake.leadBytes.insert(static_cast<unsigned char>(b));
    for (int b = 0xE0; b <= 0xFC; ++b) fake.leadBytes.insert(static_cast<unsigned char>(b));
}

TEST(InstallDir, KeepsTheLastSeparator) {
    const CodePage sb = CodePage::SingleByte();
    EXPECT_EQ(DirectoryOf("C:\\pkg\\setup\\launcher.exe", sb), "C:\\pkg\\setup\\");
    EXPECT_EQ(DirectoryOf("C:\\launcher.exe", sb), "C:\\");
    EXPECT_EQ(DirectoryOf("\\\\server\\share\\a b\\x.exe", sb), "\\\\server\\share\\a b\\");
}

TEST(InstallDir, DoubleByteTrailBackslashDoesNotCutTheDirectory) {
    FakePlatform fake;
    UseCodePage932(fake);
    // 0x95 0x5C is one character whose trail byte has the backslash's value.
    fake.modulePath =
        "C:\\\x95\x5C\\sub\x95\x5C"
        "dir\\l\x95\x5C.exe";
    fake.SetVersion(2, 6, 1, 7601);
    CLauncherApp app(fake);
    app.StartUp();
    EXPECT_EQ(app.installDir.view(),
              "C:\\\x95\x5C\\sub\x95\x5C"
              "dir\\");
    // Without the code page the trail byte would have been taken for the separator.
    EXPECT_EQ(DirectoryOf(fake.modulePath, CodePage::SingleByte()),
              "C:\\\x95\x5C\\sub\x95\x5C"
              "dir\\l\x95\x5C");
}

TEST(StartUp, GateStopsEverythingButNt5) {
    const struct {
        std::uint32_t platformId, major, minor, build;
    } others[] = {{0, 3, 10, 0},    {1, 4, 0, 950},  {1, 4, 10, 1998}, {1, 4, 10, 2222},
                  {1, 4, 90, 3000}, {2, 4, 0, 1381}, {2, 6, 0, 6000},  {2, 10, 0, 19045}};
    for (const auto& o : others) {
        FakePlatform fake;
        fake.SetVersion(o.platformId, o.major, o.minor, o.build);
        fake.files["C:\\pkg\\key.ini"] = "[ids]\r\nid=VEN_1\r\n";
        fake.subkeys = {"VEN_1&DEV_2"};
        CLauncherApp app(fake);
        EXPECT_FALSE(app.StartUp());
        EXPECT_TRUE(fake.openedFiles.empty()) << o.platformId << " " << o.major;
        EXPECT_TRUE(fake.events.empty());
        EXPECT_TRUE(fake.boxes.empty());
        EXPECT_EQ(fake.keysOpen, 0);
    }
}

TEST(StartUp, FailedVersionQueryEndsAfterItsBoxOnly) {
    FakePlatform fake;  // no version answers: both queries fail
    CLauncherApp app(fake);
    EXPECT_FALSE(app.StartUp());
    EXPECT_EQ(app.osType, OsNone);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_TRUE(fake.openedFiles.empty());
    EXPECT_TRUE(fake.events.empty());
}

TEST(StartUp, Nt5ReachesTheInstallerStage) {
    for (const std::uint32_t build : {2195u, 2600u}) {
        FakePlatform fake;
        fake.SetVersion(2, 5, build == 2195u ? 0 : 1, build);
        fake.files["C:\\pkg\\key.ini"] = "[ids]\r\nid=VEN_1\r\n";
        fake.subkeys = {"VEN_1&DEV_2"};
        CLauncherApp app(fake);
        EXPECT_FALSE(app.StartUp());
        EXPECT_EQ(app.osType, build == 2195u ? OsWin2000 : OsWinXP);
        EXPECT_EQ(fake.commonControlsInits, 1);
        EXPECT_EQ(fake.openedFiles, (std::vector<std::string>{"C:\\pkg\\key.ini rb"}));
        ASSERT_GE(fake.events.size(), 2u);
        EXPECT_EQ(fake.events[1].rfind("start 0 C:\\pkg\\install.exe", 0), 0u);
    }
}

TEST(Framework, BoxIsCaptionedWithTheExecutableName) {
    FakePlatform fake;
    fake.modulePath = "D:\\some.dir\\Setup Disk.v2.exe";
    CLauncherApp app(fake);
    EXPECT_EQ(app.AppName(), "Setup Disk.v2");
    app.AppMessageBox("hello", kMbOk);
    app.AppMessageBox("warn", 0x40 /* information icon */);
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_EQ(fake.boxes[0].caption, "Setup Disk.v2");
    EXPECT_EQ(fake.boxes[0].style, kMbOk | kMbIconExclamation);
    EXPECT_EQ(fake.boxes[1].style, 0x40u);
}

TEST(Framework, RunsTheCurrentApplicationOnceWithStatusZero) {
    FakePlatform fake;
    fake.SetVersion(2, 6, 1, 7601);
    {
        CLauncherApp app(fake);
        EXPECT_EQ(CWinApp::Current(), &app);
        EXPECT_EQ(CWinApp::RunCurrent(), 0);
        EXPECT_EQ(fake.versionQuerySizes.size(), 1u);
    }
    EXPECT_EQ(CWinApp::Current(), nullptr);
    EXPECT_EQ(CWinApp::RunCurrent(), 0);
}

}  // namespace
}  // namespace launcher
