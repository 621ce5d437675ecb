// Unit tests over built images: the layout, the names, the times and loading.
#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <random>

#include "cli/replay_file.h"
#include "replay/replay_layout.h"
#include "replay/replay_summary.h"
#include "test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tarvix::testing {
namespace {

ReplayImage image(const Bytes& bytes, std::size_t size)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), size};
}

// Images of the marker's letters hold markers, unaligned ones and partial words anywhere, and
// go on past the image's end; each way of searching gives the plainest loop's answer.
TEST(Layout, MarkerSearchAgreesWithAPlainLoop)
{
    std::mt19937 random(7);
    for (int n = 0; n < 20000; ++n) {
        Bytes bytes(random() % 1100 + 4, 0);
        std::generate(bytes.begin(), bytes.end(), [&random] { return "PTSC"[random() % 4]; });
        std::optional<std::size_t> first;
        for (std::size_t at = 0; at + 8 <= bytes.size() && !first; at += 4) {
            first = bytes.compare(at, 4, "PTSC") == 0 ? std::optional(at) : std::nullopt;
        }
        for (const MarkerSearch& search : markerSearches()) {
            ASSERT_EQ(search.find(image(bytes, bytes.size() - 4), SETUP_MARKER), first)
                << search.name << ": " << bytes;
        }
    }
}

// A name may fill its 16 bytes, before the map number 71 (a 'G'); the times need m >= 24, the
// setup length m + 8 <= size.
TEST(Layout, FieldsStayInside)
{
    const Bytes bytes = Replay(100).name("ABCDEFGHIJKLMNOP").bytes;
    EXPECT_EQ(profileName(image(bytes, 100)), "ABCDEFGHIJKLMNOP");
    for (const auto& [m, present] : std::initializer_list<std::pair<std::size_t, bool>>{
             {0, false}, {20, false}, {24, true}, {92, true}, {93, false}, {SIZE_MAX - 3, false}}) {
        EXPECT_EQ(readSetupBlock(image(bytes, 100), m).has_value(), present) << m;
    }
}

// Every stage and car name and the fallbacks around them, against a digest of the published
// tables: a wrong, missing or extra character anywhere changes it.
TEST(Names, TablesAsPublished)
{
    std::string text;
    for (std::int32_t n = -2; n < 80; ++n) {
        text += std::to_string(n) + "=" + mapEntryForNumber(n).name + "/" + carNameForSlot(n) + ";";
    }
    std::uint64_t digest = 14695981039346656037U;  // FNV-1a
    for (const char c : text) {
        digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211U;
    }
    EXPECT_EQ(digest, 18104551416762721648U) << text;
}

TEST(Times, Formatting)
{
    const std::pair<float, const char*> cases[] = {
        // clang-format off
        {0, "0:00.00"}, {5.25, "0:05.25"}, {3605, "60:05.00"}, {-61, "-1:-1.00"}, {-0.0F, "0:-0.00"},
        // exact halves round away from zero; the minutes are fixed before the seconds round
        {75.125, "1:15.13"}, {-1.125, "0:-1.13"}, {59.996F, "0:60.00"}, {119.999F, "1:60.00"},
        {2147483648.0F, "35791394:08.00"}, {-2147483648.0F, "-35791394:-8.00"}, {INFINITY, "inf"},
        {-INFINITY, "-inf"}, {NAN, "nan"}, {-NAN, "nan"},
        {FLT_MAX, "5671372443975480996861736391408615424:00.00"},
        // clang-format on
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_STREQ(formatRaceTime(seconds).c_str(), text) << seconds;
    }
}

// Every input of the fuzz target's corpus, once.
TEST(Fuzz, Corpus)
{
    ::testing::internal::CaptureStdout();
    for (const auto& entry : std::filesystem::directory_iterator(TARVIX_CORPUS)) {
        const Bytes bytes = readFile(entry.path());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    EXPECT_NE(::testing::internal::GetCapturedStdout(), "");
}

// A stream that measures 100 bytes, then ends after 50 or fails to read.
TEST(Loading, ShortRead)
{
    static off64_t at = 0;
    static int error = 0;
    cookie_io_functions_t io{};
    io.read = [](void*, char*, std::size_t size) -> ssize_t {
        const auto count = std::clamp<off64_t>(50 - at, 0, static_cast<off64_t>(size));
        at += count;
        return error == 0 ? count : (errno = error, -1);
    };
    io.seek = [](void*, off64_t* offset, int whence) {
        *offset = at = *offset + (whence == SEEK_END ? 100 : whence == SEEK_CUR ? at : 0);
        return 0;
    };
    for (const auto& [failure, count] : {std::pair{0, "50"}, {EIO, "0"}}) {
        error = failure;
        errno = EINVAL;  // left over from a call that succeeded
        ::testing::internal::CaptureStderr();
        loadAndSummarise(File(fopencookie(nullptr, "rb", io)), "r.rpl", nullptr);
        EXPECT_EQ(errno, failure);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  "Unexpected number of bytes read: "s + count + " (expected: 100)\n");
    }
}

}  // namespace
}  // namespace tarvix::testing
