// Unit tables over built images and texts: the layout, the names, the times, what terminals and
// Windows consoles are shown, and devices as setup files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include "output_rule.h"
#include "replay/replay_summary.h"
#include "suite.h"
#include "terminal.h"

namespace tarvix::testing {
namespace {

using namespace std::literals;

ReplayImage image(const Bytes& bytes, std::size_t size)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), size};
}

// Random images of the marker's letters, reaching past the image's end: the plainest loop's answer.
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

// The times need m >= 24, the setup length m + 8 <= size; a name ends at its first zero byte.
// And the sample is the builder's.
TEST(Layout, FieldsStayInside)
{
    const Bytes bytes = Replay(100).name("\0Driver1"sv).bytes;
    for (const std::size_t m : {std::size_t{0}, std::size_t{20}, std::size_t{93}, SIZE_MAX - 3}) {
        EXPECT_FALSE(readSetupBlock(image(bytes, 100), m)) << m;
    }
    EXPECT_TRUE(readSetupBlock(image(bytes, 100), 24) && readSetupBlock(image(bytes, 100), 92));
    EXPECT_EQ(profileName(image(bytes, 100)), "");
    std::ifstream sample(TARVIX_SAMPLE, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(sample), {}), SAMPLE);
}

// The stage names as published, from map 10 to 71, and the cars from slot 0: each number without
// a name of its own gives "Custom", each slot "Unknown". A failure names the number.
TEST(Names, TablesAsPublished)
{
    const auto numbered = [](std::string_view names, int first) {
        std::map<int, std::string> table;
        for (std::size_t at = 0, end = 0; end != names.npos; at = end + 1, ++first) {
            end = names.find('|', at);
            if (const auto name = names.substr(at, end - at); !name.empty()) {
                table[first] = name;
            }
        }
        return table;
    };
    auto maps = numbered(
        "Kaihuavaara|Mustaselka|Sikakama|Autiovaara|Kaihuavaara II|Mustaselka II|Sikakama II|"
        "Autiovaara II|||Harwood Forest|Falstone|Chirdonhead|Shepherds Shield|Harwood Forest II|"
        "Chirdonhead II|Falstone II|Shepherds Shield II|||Greenhills II|NewBobs|Greenhills|"
        "Mineshaft|East-West|NewBobs II|East-West II|Mineshaft II||||Cote D'Arbroz|Joux Verte|"
        "Bisanne|Joux Plane|Joux Verte II|Cote D'Arbroz II|Bisanne II|Joux Plane II||"
        "Sipirkakim II |Noiker|Sipirkakim|Pirka Menoko|Tanner|Noiker II|Tanner II|Pirka Menoko II|"
        "||Fraizer Wells II|Fraizer Wells|Prospect Ridge|Diamond Creek|Hualapai Nation|"
        "Prospect Ridge II|Diamond Creek II|Hualapai Nation II||||Rally School Stage",
        10);
    auto cars = numbered(
        "Citroen Xsara|Hyundai Accent|MG ZR Super 1600|Mitsubishi Lancer Evo VII|"
        "Peugeot 206|Subaru Impreza 2003|Toyota Corolla|Subaru Impreza 2000",
        0);
    for (std::int32_t n = -2; n < 80; ++n) {
        EXPECT_EQ(mapEntryForNumber(n).name, maps.count(n) ? maps[n] : "Custom") << "map " << n;
        EXPECT_EQ(carNameForSlot(n), cars.count(n) ? cars[n] : "Unknown") << "car " << n;
    }
}

// Exact halves round away from zero; the minutes are fixed before the seconds round.
TEST(Times, Formatting)
{
    // clang-format off
    const std::pair<float, const char*> cases[] = {
        {0, "0:00.00"}, {5.25, "0:05.25"}, {3605, "60:05.00"}, {-61, "-1:-1.00"},
        {75.125, "1:15.13"}, {-1.125, "0:-1.13"}, {59.996F, "0:60.00"}, {119.999F, "1:60.00"},
        {2147483648.0F, "35791394:08.00"}, {-2147483648.0F, "-35791394:-8.00"}, {INFINITY, "inf"},
        {-INFINITY, "-inf"}, {NAN, "nan"}, {-NAN, "nan"}, {-0.0F, "0:-0.00"},
        {FLT_MAX, "5671372443975480996861736391408615424:00.00"}};
    // clang-format on
    for (const auto& [seconds, text] : cases) {
        EXPECT_STREQ(formatRaceTime(seconds).c_str(), text) << seconds;
    }
}

// Controls as '?' (one for a C1 control in UTF-8), other characters as they are: as bytes on a
// terminal, as characters on a Windows console, from the ANSI code page (Latin-1 here) if no UTF-8.
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
        {"\xc0\x80\xe0\x80\x80\xed\xa0\x80\xf4\x90\x80\x80", "\xc0?\xe0??\xed\xa0?\xf4???",
         u"À?à??í\u00a0?ô???"},
        {"\xe2\x80", "\xe2?", u"â?"}, {"\xc2", "\xc2", u"Â"}, {"J\xf6rg", "J\xf6rg", u"Jörg"}};
    // clang-format on
    for (const auto& [text, masked, console] : cases) {
        EXPECT_EQ(maskControls(text), masked) << text;
        EXPECT_TRUE(consoleText(text, false, latin1) == console) << text;
    }
    EXPECT_TRUE(consoleText("\x1b]0\n", true, latin1) == u"?]0\r\n");  // a line's end kept
}

// A device goes by the device, by any node (made as root); one opened as another is not written.
TEST(OutputRule, DevicesGoByTheDevice)
{
    const FileInfo null = describe("/dev/null").value, zero = describe("/dev/zero").value;
    struct stat info {};
    ASSERT_TRUE(null.id && zero.id && stat("/dev/null", &info) == 0);
    const std::string node = ::testing::TempDir() + "null-node";
    std::remove(node.c_str());
    for (const std::string& path : {"/dev/null"s, node}) {
        if (path == "/dev/null" || mknod(path.c_str(), S_IFCHR | 0600, info.st_rdev) == 0) {
            const auto judged = judgeSetupFile(path.c_str(), {.replay = null});
            EXPECT_EQ(std::get<Refusal>(judged).reason, Refusal::ReplayBeingRead) << path;
        }
    }
    std::remove(node.c_str());
    EXPECT_TRUE(openSetupFileOrReport("/dev/null", OpenJudged{null}));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openSetupFileOrReport("/dev/null", OpenJudged{zero}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Setup not written: cannot tell whether /dev/null is a replay: "s +
                  std::strerror(FILE_CHANGED) + "\n");
}

}  // namespace
}  // namespace tarvix::testing
