// The byte routines stand in for the C library's in the shipping file, where
// the compiler calls them for every copy of a whole object.

#include <gtest/gtest.h>

#include <string>

#include "platform/ByteString.h"
#include "platform/Bytes.h"
#include "tests/unit/FakePlatform.h"

namespace launcher {
namespace {

TEST(Bytes, MoveKeepsOverlappingRangesAndEveryLengthAndAlignment) {
    const std::string base = "0123456789abcdefghijklmnopqrstuv";
    for (std::size_t from = 0; from < 8; ++from) {
        for (std::size_t to = 0; to < 8; ++to) {
            for (std::size_t count = 0; count <= 16; ++count) {
                std::string got = base;
                std::string want = base;
                want.replace(to, count, base.substr(from, count));
                MoveBytes(&got[to], &got[from], count);
                ASSERT_EQ(got, want) << from << "->" << to << " x" << count;
                if (from + count <= to || to + count <= from) {
                    got = base;
                    CopyBytes(&got[to], &got[from], count);
                    ASSERT_EQ(got, want) << "copy " << from << "->" << to << " x" << count;
                }
                got = base;
                FillBytes(&got[to], 0x1FF, count);  // only the low byte counts
                want = base;
                want.replace(to, count, count, '\xFF');
                ASSERT_EQ(got, want);
            }
        }
    }
    EXPECT_EQ(MoveBytes(nullptr, nullptr, 0), nullptr);
}

TEST(Bytes, CompareAndSearchTakeBytesAsUnsigned) {
    const char high[] = "ab\x80";
    const char low[] = "ab\x7F";
    EXPECT_GT(CompareBytes(high, low, 3), 0);
    EXPECT_LT(CompareBytes(low, high, 3), 0);
    EXPECT_EQ(CompareBytes(low, high, 2), 0);
    EXPECT_EQ(CompareBytes(low, high, 0), 0);
    const char text[] = "x\xFFy";
    EXPECT_EQ(FindByte(text, -1, 3), text + 1);  // (unsigned char)-1
    EXPECT_EQ(FindByte(text, 'y', 2), nullptr);
    EXPECT_EQ(TextLength(text), 3u);
    EXPECT_EQ(TextLength(""), 0u);
}

TEST(ByteString, AppendsItsOwnTextWhileItsBlockMoves) {
    testing::FakePlatform fake;
    ByteString s(fake);
    ASSERT_TRUE(s.Assign("abc"));
    std::string want = "abc";
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(s.Append(s.view()));
        want += want;
    }
    EXPECT_EQ(s.view(), want);
    ASSERT_TRUE(s.Assign(s.view().substr(3, 3)));
    EXPECT_EQ(s.view(), "abc");

    fake.refuseAllocationsFrom = fake.allocations;
    EXPECT_FALSE(s.Append(std::string(1000, 'y')));
    EXPECT_TRUE(s.empty());
    EXPECT_FALSE(s.Append("z")) << "a failed string stays failed";
    EXPECT_STREQ(s.c_str(), "");
}

}  // namespace
}  // namespace launcher
