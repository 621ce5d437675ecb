#include "replay/replay_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "replay_builder.h"

namespace tarvix {
namespace {

using testing::Bytes;
using testing::ReplayBuilder;

TEST(ReplayLayout, FixedFields)
{
    struct Case {
        ReplayBuilder image;
        std::string_view name;
        std::int32_t map, car;
    };
    const Case cases[] = {
        {ReplayBuilder().profile("ABCDEFGHIJKLMNOP").map(0x51515151), "ABCDEFGHIJKLMNOP",
         0x51515151, 4},
        {ReplayBuilder().raw(12, std::string_view("\0abc", 4)), "", 71, 4},
        {ReplayBuilder().raw(12, std::string_view("ab\0cd", 5)), "ab", 71, 4},
        {ReplayBuilder().map(-1).car(INT32_MIN), "Driver1", -1, INT32_MIN},
        {ReplayBuilder().u32(28, 0x04030201).u32(32, 0x80000001), "Driver1", 0x04030201,
         static_cast<std::int32_t>(0x80000001)},
    };
    for (const Case& c : cases) {
        const Bytes& image = c.image.bytes();
        EXPECT_EQ(profileName(image), c.name);
        EXPECT_EQ(mapNumber(image), c.map) << c.name;
        EXPECT_EQ(carSlot(image), c.car) << c.name;
    }
}

// Every prefix of an image: the marker is found exactly when its whole word is inside.
TEST(ReplayLayout, FindSetupMarkerOnEveryTruncation)
{
    const Bytes image = ReplayBuilder(120).marker(100).bytes();
    for (std::size_t size = 0; size <= image.size(); ++size) {
        const auto found = findSetupMarker(ReplayImage(image.data(), size), SETUP_MARKER);
        EXPECT_EQ(found, size >= 104 ? std::optional<std::size_t>(100) : std::nullopt) << size;
    }
}

// Images drawn from the marker's own letters hold markers everywhere, across every block
// boundary of the search; each answer must be the first aligned whole word that matches.
TEST(ReplayLayout, FindSetupMarkerOnRandomImages)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> size(0, 700);
    std::uniform_int_distribution<int> letter(0, 3);
    for (int n = 0; n < 20000; ++n) {
        Bytes image(size(random));
        for (std::uint8_t& byte : image) {
            byte = static_cast<std::uint8_t>("PTSC"[letter(random)]);
        }
        std::optional<std::size_t> expected;
        for (std::size_t at = 0; at + 4 <= image.size() && !expected; at += 4) {
            if (std::equal(image.begin() + at, image.begin() + at + 4, "PTSC")) {
                expected = at;
            }
        }
        ASSERT_EQ(findSetupMarker(image, SETUP_MARKER), expected)
            << ::testing::PrintToString(image);
    }
}

TEST(ReplayLayout, ReadSetupBlock)
{
    const Bytes image = ReplayBuilder().setupBlock(96, 30.5F, -61.25F, 95.0F, {1, 2, 3, 0}).bytes();
    const auto block = readSetupBlock(image, 96);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->checkpoint1, 30.5F);
    EXPECT_EQ(block->checkpoint2, -61.25F);
    EXPECT_EQ(block->stageTime, 95.0F);
    EXPECT_EQ(block->length, 4U);
    EXPECT_EQ(block->bytes.data(), image.data() + 104);
    EXPECT_EQ(block->bytes.size(), image.size() - 104);
}

// The times need m >= 24 and the length field m + 8 <= size; otherwise there is no block.
TEST(ReplayLayout, ReadSetupBlockBounds)
{
    const Bytes image = ReplayBuilder(100).bytes();
    const std::pair<std::size_t, bool> cases[] = {
        {0, false},  {20, false}, {24, true},   {92, true},
        {93, false}, {96, false}, {100, false}, {SIZE_MAX - 3, false},
    };
    for (const auto& [marker, present] : cases) {
        EXPECT_EQ(readSetupBlock(image, marker).has_value(), present) << marker;
    }
}

}  // namespace
}  // namespace tarvix
