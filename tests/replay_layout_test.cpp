#include "replay/replay_layout.h"

#include <gtest/gtest.h>

#include "replay_builder.h"

namespace tarvix {
namespace {

using testing::Bytes;
using testing::ReplayBuilder;

TEST(ReplayLayout, FixedFields)
{
    struct Case {
        const char* what;
        Bytes image;
        std::string_view name;
        std::int32_t map;
        std::int32_t car;
    };
    const Case cases[] = {
        {"plain", ReplayBuilder().profile("Driver1").map(71).car(4).bytes(), "Driver1", 71, 4},
        {"name fills all 16 bytes, map follows",
         ReplayBuilder().profile("ABCDEFGHIJKLMNOP").map(0x51515151).bytes(), "ABCDEFGHIJKLMNOP",
         0x51515151, 4},
        {"name starts with a zero byte",
         ReplayBuilder().raw(12, std::string_view("\0abc", 4)).bytes(), "", 71, 4},
        {"name stops at its first zero",
         ReplayBuilder().raw(12, std::string_view("ab\0cd", 5)).bytes(), "ab", 71, 4},
        {"negative numbers", ReplayBuilder().map(-1).car(-2147483647 - 1).bytes(), "Driver1", -1,
         -2147483647 - 1},
        {"byte order", ReplayBuilder().u32(28, 0x04030201).u32(32, 0x80000001).bytes(), "Driver1",
         0x04030201, static_cast<std::int32_t>(0x80000001)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(profileName(c.image), c.name);
        EXPECT_EQ(mapNumber(c.image), c.map);
        EXPECT_EQ(carSlot(c.image), c.car);
    }
}

TEST(ReplayLayout, FindSetupMarker)
{
    struct Case {
        const char* what;
        Bytes image;
        std::optional<std::size_t> marker;
    };
    const Case cases[] = {
        {"none", ReplayBuilder(200).bytes(), std::nullopt},
        {"at offset 0", ReplayBuilder(200).marker(0).bytes(), 0},
        {"inside the profile name", ReplayBuilder(200).profile("abcdPTSC").bytes(), 16},
        {"unaligned only", ReplayBuilder(200).marker(2).marker(101).marker(150).bytes(),
         std::nullopt},
        {"first of two aligned", ReplayBuilder(200).marker(120).marker(64).bytes(), 64},
        {"unaligned before aligned", ReplayBuilder(200).marker(61).marker(96).bytes(), 96},
        {"bytes in the wrong order", ReplayBuilder(200).raw(96, "CSTP").bytes(), std::nullopt},
        {"last whole word", ReplayBuilder(202).marker(196).bytes(), 196},
        {"trailing partial word", ReplayBuilder(203).raw(200, "PTS").bytes(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(findSetupMarker(c.image, SETUP_MARKER), c.marker);
    }
}

// Every prefix of an image: the marker is found exactly when its whole word is inside.
TEST(ReplayLayout, FindSetupMarkerOnEveryTruncation)
{
    const Bytes image = ReplayBuilder(120).marker(100).bytes();
    for (std::size_t size = 0; size <= image.size(); ++size) {
        SCOPED_TRACE(size);
        const auto found = findSetupMarker(ReplayImage(image.data(), size), SETUP_MARKER);
        EXPECT_EQ(found, size >= 104 ? std::optional<std::size_t>(100) : std::nullopt);
    }
}

TEST(ReplayLayout, ReadSetupBlock)
{
    const Bytes setup = {1, 2, 3, 0};
    const Bytes image = ReplayBuilder(64).setupBlock(96, 30.5F, -61.25F, 95.0F, setup).bytes();
    const auto block = readSetupBlock(image, 96);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->checkpoint1, 30.5F);
    EXPECT_EQ(block->checkpoint2, -61.25F);
    EXPECT_EQ(block->stageTime, 95.0F);
    EXPECT_EQ(block->length, 4U);
    EXPECT_EQ(Bytes(block->bytes.begin(), block->bytes.end()), setup);
}

// The times need m >= 24 and the length field needs m + 8 <= size; anything else is no block.
TEST(ReplayLayout, ReadSetupBlockBounds)
{
    struct Case {
        std::size_t marker;
        std::size_t size;
        bool present;
        std::size_t bytesAfterLength;
    };
    const Case cases[] = {
        {0, 100, false, 0},   {20, 100, false, 0},           {24, 100, true, 68},
        {92, 100, true, 0},   {96, 100, false, 0},           {100, 100, false, 0},
        {104, 100, false, 0}, {SIZE_MAX - 3, 100, false, 0},
    };
    const Bytes image = ReplayBuilder(100).bytes();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.marker);
        const auto block = readSetupBlock(ReplayImage(image.data(), c.size), c.marker);
        ASSERT_EQ(block.has_value(), c.present);
        if (block) {
            EXPECT_EQ(block->bytes.size(), c.bytesAfterLength);
        }
    }
}

}  // namespace
}  // namespace tarvix
