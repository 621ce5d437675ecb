// Unit tests over built images (the layout, the names, the times), a short read, and devices as
// setup files.
#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include <sys/stat.h>

#include "cli/replay_file.h"
#include "replay/replay_summary.h"
#include "setup/setup_target.h"
#include "terminal.h"
#include "test_support.h"

namespace tarvix::testing {
namespace {

using namespace std::literals;

ReplayImage image(const Bytes& bytes, std::size_t size)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), size};
}

// Images of the marker's letters hold markers, unaligned ones and partial words anywhere, and
// go on past the image's end; the search gives the plainest loop's answer.
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
        ASSERT_EQ(findSetupMarker(image(bytes, bytes.size() - 4), SETUP_MARKER), first) << bytes;
    }
}

// The times need m >= 24, the setup length m + 8 <= size. And the sample is the builder's.
TEST(Layout, FieldsStayInside)
{
    const Bytes bytes = Replay(100).bytes;
    for (const std::size_t m : {std::size_t{0}, std::size_t{20}, std::size_t{93}, SIZE_MAX - 3}) {
        EXPECT_FALSE(readSetupBlock(image(bytes, 100), m)) << m;
    }
    EXPECT_TRUE(readSetupBlock(image(bytes, 100), 24) && readSetupBlock(image(bytes, 100), 92));
    EXPECT_EQ(readFile(TARVIX_SAMPLE), SAMPLE);
}

// Every stage and car name and the fallbacks around them, against a digest of the published
// tables: a wrong, missing or extra character anywhere changes it.
TEST(Names, TablesAsPublished)
{
    std::uint64_t digest = 14695981039346656037U;  // FNV-1a
    for (std::int32_t n = -2; n < 80; ++n) {
        for (const char c :
             std::to_string(n) + "=" + mapEntryForNumber(n).name + "/" + carNameForSlot(n) + ";") {
            digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211U;
        }
    }
    EXPECT_EQ(digest, 18104551416762721648U);
}

// Exact halves round away from zero; the minutes are fixed before the seconds round.
TEST(Times, Formatting)
{
    // clang-format off
    const std::pair<float, const char*> cases[] = {
        {0, "0:00.00"}, {5.25, "0:05.25"}, {3605, "60:05.00"}, {-61, "-1:-1.00"},
        {-0.0F, "0:-0.00"},
        {75.125, "1:15.13"}, {-1.125, "0:-1.13"}, {59.996F, "0:60.00"}, {119.999F, "1:60.00"},
        {2147483648.0F, "35791394:08.00"}, {-2147483648.0F, "-35791394:-8.00"}, {INFINITY, "inf"},
        {-INFINITY, "-inf"}, {NAN, "nan"}, {-NAN, "nan"},
        {FLT_MAX, "5671372443975480996861736391408615424:00.00"}};
    // clang-format on
    for (const auto& [seconds, text] : cases) {
        EXPECT_STREQ(formatRaceTime(seconds).c_str(), text) << seconds;
    }
}

// On a terminal that takes bytes: controls as '?', a C1 control in UTF-8 as one, other UTF-8
// characters whole, the bytes of a Windows code page as they are. On a Windows console, which
// takes characters: UTF-8 where the text is UTF-8, the ANSI code page otherwise (here each byte
// as the character of its number, as Windows-1252 reads these), every control as '?'.
TEST(Terminal, ControlsShownAsQuestionMarks)
{
    const auto latin1 = [](std::string_view bytes) {
        std::u16string text;
        for (const char byte : bytes) {
            text += static_cast<unsigned char>(byte);
        }
        return text;
    };
    // clang-format off
    const std::tuple<Bytes, Bytes, std::u16string> cases[] = {
        {"\x1f ~\x7f\x80\x9f\xa0\xff\n", "? ~???\xa0\xff?", u"? ~???\u00a0ÿ?"},
        {"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0", u"??\u00a0"}, {"ÍÍÍ", "ÍÍÍ", u"ÍÍÍ"},
        {"Пётр \xf0\x9f\x98\x80", "Пётр \xf0\x9f\x98\x80", u"Пётр \U0001F600"},
        {"\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80", "\xc0?\xed\xa0?\xf4???", u"À?í\u00a0?ô???"},
        {"\xe2\x80", "\xe2?", u"â?"}, {"\xc2", "\xc2", u"Â"}, {"J\xf6rg", "J\xf6rg", u"Jörg"}};
    // clang-format on
    for (const auto& [text, masked, console] : cases) {
        EXPECT_EQ(maskControls(text), masked) << text;
        EXPECT_TRUE(consoleText(text, false, latin1) == console) << text;
    }
    EXPECT_TRUE(consoleText("\x1b]0\n", true, latin1) == u"?]0\r\n");  // a line's end kept
}

// A stream that ends before the size measured, and one whose read fails: a directory.
TEST(Loading, ShortRead)
{
    char bytes[50] = {};
    for (const auto& [file, count, error] :
         {std::tuple{File(fmemopen(bytes, 50, "rb")), "50", 0},
          std::tuple{File(std::fopen(".", "rb")), "0", EISDIR}}) {
        if (!file) {
            GTEST_SKIP() << "this system opens no directory for reading";
        }
        ::testing::internal::CaptureStderr();
        errno = ENOENT;  // left over from an earlier call
        const LoadedReplay replay = readReplay(file.get(), 100);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(),
                  std::string("Unexpected number of bytes read: ") + count + " (expected: 100)\n");
        EXPECT_EQ(replay.error, error);
        EXPECT_FALSE(replay.bytes);
    }
}

// A device goes by the device, through any node made for it (as root); one that opens as
// another file than the one judged is not written.
TEST(SetupTarget, DevicesGoByTheDevice)
{
    const FileInfo null = describe("/dev/null").value, zero = describe("/dev/zero").value;
    struct stat info {};
    ASSERT_TRUE(null.id && zero.id && stat("/dev/null", &info) == 0);
    const std::string node = ::testing::TempDir() + "null-node";
    std::remove(node.c_str());
    for (const std::string& path : {"/dev/null"s, node}) {
        if (path == "/dev/null" || mknod(path.c_str(), S_IFCHR | 0600, info.st_rdev) == 0) {
            const auto judged = judgeSetupTarget(path.c_str(), null, {});
            EXPECT_EQ(std::get<Refusal>(judged).reason, Refusal::TheReplay) << path;
        }
    }
    std::remove(node.c_str());
    EXPECT_TRUE(openSetupFileOrReport("/dev/null", OpenWhenReady{null}));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openSetupFileOrReport("/dev/null", OpenWhenReady{zero}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Setup not written: cannot tell whether /dev/null is a replay: "s +
                  std::strerror(FILE_CHANGED) + "\n");
}

}  // namespace
}  // namespace tarvix::testing
