#include "setup/setup_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "replay_builder.h"
#include "run_tarvix.h"

namespace tarvix {
namespace {

using testing::Bytes;

TEST(SetupExport, TrimmedSetupLength)
{
    const std::pair<Bytes, std::size_t> cases[] = {
        {{}, 0},
        {{0}, 1},
        {{0, 0, 0, 0}, 1},
        {{7}, 1},
        {{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}, 6},
        {{0, 0, 9, 0}, 3},
        {{1, 0, 2}, 3},
    };
    for (const auto& [setup, length] : cases) {
        EXPECT_EQ(trimmedSetupLength(setup), length) << ::testing::PrintToString(setup);
    }
}

// The limit, and the claimed length against the bytes the image holds after the length field.
TEST(SetupExport, LimitAndBounds)
{
    struct Case {
        std::size_t available;
        std::uint32_t length;
        std::string out, err;
        std::optional<std::size_t> written;  // none: no file may exist
    };
    const Case cases[] = {
        {50000, 49999, "Setup written to out.setup\n", "", 49999},
        {50000, 50000, "Car setup too large (50000 bytes)\n", "", std::nullopt},
        {10, 50000, "Car setup too large (50000 bytes)\n", "", std::nullopt},
        {10, 0x80000000U, "Car setup too large (-2147483648 bytes)\n", "", std::nullopt},
        {10, 0xFFFFFFFFU, "Car setup too large (-1 bytes)\n", "", std::nullopt},
        {99, 100, "", "Car setup truncated (99 of 100 bytes present)\n", std::nullopt},
        {0, 1, "", "Car setup truncated (0 of 1 bytes present)\n", std::nullopt},
        {100, 100, "Setup written to out.setup\n", "", 100},
        {100, 0, "Setup written to out.setup\n", "", 0},
    };
    Bytes bytes(50000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251 + 1);
    }
    const testing::ScratchDir dir;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir / "");
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.length << " of " << c.available);
        std::filesystem::remove("out.setup");
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        exportSetup(std::span(bytes).first(c.available), c.length, "out.setup");
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.out);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.err);
        ASSERT_EQ(std::filesystem::exists("out.setup"), c.written.has_value());
        if (c.written) {
            EXPECT_EQ(testing::readFile("out.setup"),
                      Bytes(bytes.begin(), bytes.begin() + *c.written));
        }
    }
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace tarvix
