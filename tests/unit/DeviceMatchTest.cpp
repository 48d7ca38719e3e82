#include <gtest/gtest.h>

#include "app/LauncherApp.h"
#include "probes/DeviceMatch.h"
#include "probes/SupportedIds.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

using testing::FakePlatform;
using testing::ProcessEnded;

class FindSupportedDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        app.installDir.Assign("C:\\pkg\\");
        fake.files["C:\\pkg\\key.ini"] = "[ids]\r\nid1=VEN_8086&DEV_2922\r\nid2=VEN_1002\r\n";
    }
    bool Find() {
        const bool found = app.FindSupportedDevice();
        EXPECT_EQ(fake.keysClosed, fake.keysOpen) << "key left open";
        return found;
    }
    FakePlatform fake;
    CLauncherApp app{fake};
};

TEST_F(FindSupportedDeviceTest, FirstEnumeratedSubkeyWinsWhicheverEntryMatches) {
    fake.subkeys = {"VEN_10DE&DEV_0001", "VEN_1002&DEV_4150&SUBSYS_0&REV_00",
                    "VEN_8086&DEV_2922&SUBSYS_00000000&REV_02"};
    ASSERT_TRUE(Find());
    EXPECT_EQ(app.deviceKey.view(), "VEN_1002&DEV_4150&SUBSYS_0&REV_00\"");
    // Later subkeys are never read once one matched.
    EXPECT_EQ(fake.enumeratedIndices, (std::vector<std::uint32_t>{0, 1}));
}

TEST_F(FindSupportedDeviceTest, CaseAndBlanksCount) {
    fake.files["C:\\pkg\\key.ini"] = "a=ven_8086\r\nb=VEN_8086 \r\n";
    fake.subkeys = {"VEN_8086&DEV_2922"};
    EXPECT_FALSE(Find());
    EXPECT_EQ(app.deviceKey.view(), "");
}

TEST_F(FindSupportedDeviceTest, EmptyEntryMatchesTheFirstSubkey) {
    fake.files["C:\\pkg\\key.ini"] = "a=NOPE\r\nb=\r\n";
    fake.subkeys = {"VEN_0000&DEV_0000", "VEN_8086&DEV_2922"};
    ASSERT_TRUE(Find());
    EXPECT_EQ(app.deviceKey.view(), "VEN_0000&DEV_0000\"");
}

TEST_F(FindSupportedDeviceTest, FailuresEndTheScanAndCloseTheKey) {
    fake.subkeys = {"VEN_10DE", "VEN_10DF", "VEN_8086&DEV_2922"};
    fake.enumFailsAt = 1;
    EXPECT_FALSE(Find());  // a later subkey would have matched
    EXPECT_EQ(fake.enumeratedIndices, (std::vector<std::uint32_t>{0, 1}));

    fake.enumFailsAt = -1;
    fake.subkeys = {"VEN_10DE"};
    fake.extraCount = 2;  // counted but gone by the time they are read
    EXPECT_FALSE(Find());

    fake.countFails = true;
    EXPECT_FALSE(Find());

    fake.pciKeyExists = false;
    EXPECT_FALSE(Find());
    EXPECT_EQ(fake.keysOpen, 3);
}

TEST_F(FindSupportedDeviceTest, NothingToMatch) {
    fake.subkeys = {};
    EXPECT_FALSE(Find());
    fake.files["C:\\pkg\\key.ini"] = "[ids]\r\n";
    fake.subkeys = {"VEN_8086&DEV_2922"};
    EXPECT_FALSE(Find());
    EXPECT_EQ(supportedIdCount, 0);
}

TEST_F(FindSupportedDeviceTest, MissingListEndsBeforeTheRegistryIsOpened) {
    fake.files.clear();
    fake.subkeys = {"VEN_8086&DEV_2922"};
    EXPECT_THROW(app.FindSupportedDevice(), ProcessEnded);
    EXPECT_EQ(fake.keysOpen, 0);
}

TEST_F(FindSupportedDeviceTest, LongIdentifiersAreNotCut) {
    // Cut to 39 bytes this entry would match a device it does not support.
    fake.files["C:\\pkg\\key.ini"] = "a=VEN_8086&DEV_2922&SUBSYS_11112222&REV_02\r\n";
    fake.subkeys = {"VEN_8086&DEV_2922&SUBSYS_11112222&REV_03"};
    EXPECT_FALSE(Find());
}

int Match(std::string_view name, const std::vector<std::string>& ids, const CodePage& cp) {
    std::string text;
    std::vector<SupportedId> table;
    for (const std::string& id : ids) {
        table.push_back(
            {static_cast<std::uint32_t>(text.size()), static_cast<std::uint32_t>(id.size())});
        text += id;
    }
    return FindMatchingId(name, text.c_str(), table.data(), table.size(), cp);
}

TEST(FindMatchingId, MatchesOnlyAtCharacterBoundaries) {
    const CodePage cp932 = CodePage::WithLeadRanges({{0x81, 0x9F}, {0xE0, 0xFC}});
    const std::vector<std::string> ids = {"AB"};
    // 0x82 0x41 is one character; "AB" may not start at its trail byte.
    EXPECT_EQ(Match("\x82"
                    "AB",
                    ids, cp932),
              -1);
    EXPECT_EQ(Match("\x82"
                    "AAB",
                    ids, cp932),
              0);
    EXPECT_EQ(Match("\x82"
                    "AB",
                    ids, CodePage::SingleByte()),
              0);
    EXPECT_EQ(Match("xAB", {"zz", "", "AB"}, CodePage::SingleByte()), 1);
}

}  // namespace
}  // namespace launcher
