#include <gtest/gtest.h>

#include "app/LauncherApp.h"
#include "probes/SupportedIds.h"
#include "tests/unit/FakePlatform.h"
#include "tests/unit/IdTexts.h"

namespace launcher {
namespace {

using testing::FakePlatform;
using testing::ParseSupportedIds;
using testing::ProcessEnded;
using Ids = std::vector<std::string>;

Ids Parse(const std::string& text) { return ParseSupportedIds(text, CodePage::SingleByte()); }

// The launcher's table as texts.
Ids Table() {
    Ids texts;
    for (std::int32_t i = 0; i < supportedIdCount; ++i)
        texts.emplace_back(IdText(listText, supportedIds[i]));
    return texts;
}

TEST(ParseSupportedIds, SegmentsAtCarriageReturnsOnly) {
    EXPECT_EQ(Parse("[ids]\r\nname=A\r\nname=B\r\nname=C\r\n"), (Ids{"A", "B", "C"}));
    // LF-only files collapse into one entry that keeps the LF bytes.
    EXPECT_EQ(Parse("a=X\nb=Y\n"), (Ids{"X\nb=Y\n"}));
    EXPECT_EQ(Parse("x=a=b\r\n"), (Ids{"a=b"}));
    EXPECT_EQ(Parse("id=\rnext=B"), (Ids{"", "B"}));
    EXPECT_EQ(Parse("id= VEN_1 \r\n; comment\r\n\r\n[x]\r\nlast=Z"), (Ids{" VEN_1 ", "Z"}));
    EXPECT_EQ(Parse(""), Ids{});
    EXPECT_EQ(Parse("no entries\r\nat all\r\n"), Ids{});
}

TEST(ParseSupportedIds, EqualsSignAsTrailByteStartsNoEntry) {
    // 0x81 0x3D is one double-byte character whose trail byte is '='.
    const std::string text = "k\x81=v=1\r\n";
    EXPECT_EQ(ParseSupportedIds(text, CodePage::WithLeadRanges({{0x81, 0x9F}})), (Ids{"1"}));
    EXPECT_EQ(Parse(text), (Ids{"v=1"}));
}

TEST(ParseSupportedIds, KeepsManyAndLongEntriesWhole) {
    std::string text;
    Ids expected;
    for (int i = 0; i < 100; ++i) {
        std::string id = "PCI_ID_" + std::to_string(i) + std::string(static_cast<size_t>(i), 'x');
        text += "id" + std::to_string(i) + "=" + id + "\r\n";
        expected.push_back(id);
    }
    EXPECT_EQ(Parse(text), expected);
}

class LoadSupportedIdsTest : public ::testing::Test {
protected:
    void SetUp() override { app.installDir.Assign("C:\\pkg\\"); }
    void Load(const std::string& content) {
        fake.files["C:\\pkg\\key.ini"] = content;
        app.LoadSupportedIds();
    }
    FakePlatform fake;
    CLauncherApp app{fake};
};

TEST_F(LoadSupportedIdsTest, ReadsTheFileInOneCallAndFillsTheTable) {
    Load("[ids]\r\nname=A\r\nname=B\r\nname=C");
    EXPECT_EQ(Table(), (Ids{"A", "B", "C"}));
    EXPECT_EQ(supportedIdCount, 3);
    EXPECT_EQ(fake.openedFiles, (std::vector<std::string>{"C:\\pkg\\key.ini rb"}));
    EXPECT_EQ(fake.readRequests.size(), 1u);
    EXPECT_EQ(fake.streamsClosed, 1);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(LoadSupportedIdsTest, NulEndsTheContent) {
    Load(std::string("a=A\r\nb=B\0\r\nc=C\r\n", 15));
    EXPECT_EQ(Table(), (Ids{"A", "B"}));
}

TEST_F(LoadSupportedIdsTest, EmptyFileIsNoFailure) {
    Load("");
    EXPECT_EQ(supportedIdCount, 0);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(LoadSupportedIdsTest, UnreadableListShowsTheBoxAndEndsTheProcess) {
    auto expectNotFound = [this](const char* what, const char* caption = "launcher") {
        fake.boxes.clear();
        try {
            app.LoadSupportedIds();
            ADD_FAILURE() << what << ": the process did not end";
        } catch (const ProcessEnded& end) {
            EXPECT_EQ(end.status, 0) << what;
        }
        ASSERT_EQ(fake.boxes.size(), 1u) << what;
        EXPECT_EQ(fake.boxes[0].text, "key.ini not found !!");
        EXPECT_EQ(fake.boxes[0].caption, caption) << what;
        EXPECT_EQ(fake.boxes[0].style, kMbOk | kMbIconExclamation);
    };
    expectNotFound("missing file");

    fake.files["C:\\pkg\\key.ini"] = "a=A\r\n";
    // The path is built; the content's block, and the box's caption, are not.
    fake.refuseAllocationsFrom = fake.allocations + 1;
    expectNotFound("no memory", "");
    EXPECT_EQ(fake.streamsClosed, 1);

    fake.refuseAllocationsFrom = -1;
    fake.tellFails = true;
    expectNotFound("length unknown");
    EXPECT_EQ(fake.streamsClosed, 2);

    // Left at the end, the stream would read nothing and the list would
    // look empty: "Worry" instead of this box.
    fake.tellFails = false;
    fake.seekFailsAt = fake.seeks + 1;
    expectNotFound("seek back fails");
    EXPECT_EQ(fake.streamsClosed, 3);

    // Read whole, this list would choose another device, or one at all.
    fake.readLimit = 3;
    expectNotFound("read stops short");
    EXPECT_EQ(fake.streamsClosed, 4);
    fake.readLimit = static_cast<std::size_t>(-1);

    app.installDir.Clear();
    fake.openedFiles.clear();
    expectNotFound("own directory unknown");
    EXPECT_TRUE(fake.openedFiles.empty());
}

}  // namespace
}  // namespace launcher
