#include <gtest/gtest.h>

#include "app/LauncherApp.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

using testing::FakePlatform;

struct Case {
    std::uint32_t platformId, major, minor, build;
    OsType expected;
};

TEST(ClassifyVersion, TableAtItsBoundaries) {
    const Case cases[] = {
        {0, 3, 10, 0, OsWin32s},
        // Platform 1: 4.0 against 4.10, and the build boundaries.
        {1, 4, 0, 2222, OsWin95},
        {1, 3, 99, 5000, OsWin95},
        {1, 4, 10, 1998, OsWin98},
        {1, 4, 10, 1, OsWin98},
        {1, 4, 10, 2221, OsWin98},
        {1, 4, 10, 2222, OsWin98SE},
        {1, 4, 10, 2223, OsWinMe},
        {1, 4, 90, 3000, OsWinMe},
        {1, 5, 0, 2222, OsWin98SE},
        // Only the low 16 bits count on platform 1.
        {1, 4, 10, (0x040Au << 16) | 2222u, OsWin98SE},
        {1, 4, 10, (0x040Au << 16) | 1998u, OsWin98},
        {1, 4, 10, 67766446u, OsWin98SE},  // 4.10.2222 as Wine reports it
        // Platform 2: the whole 32 bits count.
        {2, 3, 51, 1057, OsWinNT4},
        {2, 4, 0, 1381, OsWinNT4},
        {2, 5, 0, 2195, OsWin2000},
        {2, 5, 0, 2222, OsWin2000},
        {2, 5, 1, 2223, OsWinXP},
        {2, 5, 2, 3790, OsWinXP},
        {2, 5, 0, (1u << 16) | 2000u, OsWinXP},
        {2, 6, 0, 2222, OsNone},
        {2, 10, 0, 19045, OsNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.platformId << " " << c.major << "." << c.minor << " build " << c.build);
        OsType type = 77;
        ASSERT_TRUE(ClassifyVersion(
            FakePlatform::MakeRecord(c.platformId, c.major, c.minor, c.build), &type));
        EXPECT_EQ(type, c.expected);
    }
    OsType type = 77;
    EXPECT_FALSE(ClassifyVersion(FakePlatform::MakeRecord(3, 5, 1, 2600), &type));
    EXPECT_EQ(type, 77);
}

TEST(DetectOsType, AsksForTheExtendedRecordAndShowsNothingOnSuccess) {
    FakePlatform fake;
    fake.SetVersion(2, 6, 0, 6000);
    CLauncherApp app(fake);
    OsType code = 77;
    EXPECT_TRUE(app.DetectOsType(&code));
    EXPECT_EQ(code, OsNone);
    EXPECT_EQ(fake.versionQuerySizes, (std::vector<std::uint32_t>{156}));
    EXPECT_TRUE(fake.boxes.empty());
}

TEST(DetectOsType, RetriesWithTheBasicRecordSilently) {
    FakePlatform fake;
    fake.versionAnswers = {{false, {}}, {true, FakePlatform::MakeRecord(2, 4, 0, 1381)}};
    CLauncherApp app(fake);
    OsType code = 0;
    EXPECT_TRUE(app.DetectOsType(&code));
    EXPECT_EQ(code, OsWinNT4);
    EXPECT_EQ(fake.versionQuerySizes, (std::vector<std::uint32_t>{156, 148}));
    EXPECT_TRUE(fake.boxes.empty());
}

TEST(DetectOsType, FailedQueryShowsItsBoxAndLeavesTheCode) {
    FakePlatform fake;
    CLauncherApp app(fake);
    OsType code = 42;
    EXPECT_FALSE(app.DetectOsType(&code));
    EXPECT_EQ(code, 42);
    EXPECT_EQ(fake.versionQuerySizes, (std::vector<std::uint32_t>{156, 148}));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "Message");
    EXPECT_EQ(fake.boxes[0].caption, "Check OS type Error !");
    EXPECT_EQ(fake.boxes[0].style, kMbOk);
}

TEST(DetectOsType, UnknownPlatformShowsItsBoxAndWritesZero) {
    FakePlatform fake;
    fake.SetVersion(3, 5, 1, 2600);
    CLauncherApp app(fake);
    OsType code = 42;
    EXPECT_FALSE(app.DetectOsType(&code));
    EXPECT_EQ(code, OsNone);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "Message");
    EXPECT_EQ(fake.boxes[0].caption, "Unknown OS type !");
    EXPECT_EQ(fake.boxes[0].style, kMbOk);
}

}  // namespace
}  // namespace launcher
