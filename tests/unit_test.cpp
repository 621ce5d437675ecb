// Unit tables: the layout, names, times, terminals and consoles, and the setup file judged.
#include <gtest/gtest.h>

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

// Times need m >= 24, the length m + 8 <= size; a name ends at a zero; the sample is the builder's.
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

// The names as published, from map 10 and car slot 0, else "Custom" and "Unknown", by number.
TEST(Names, TablesAsPublished)
{
    const auto numbered = [](std::string_view names, int n) {
        std::map<int, std::string> table;
        for (std::size_t at = 0, bar = 0; bar != names.npos; at = bar + 1, ++n) {
            bar = names.find('|', at);
            table[n] = names.substr(at, bar - at);
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
        EXPECT_EQ(mapEntryForNumber(n).name, maps[n].empty() ? "Custom" : maps[n]) << "map " << n;
        EXPECT_EQ(carNameForSlot(n), cars[n].empty() ? "Unknown" : cars[n]) << "car " << n;
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

// Controls as '?', one for a C1 in UTF-8; the rest as bytes, or console characters (Latin-1 here).
TEST(Terminal, ControlsShownAsQuestionMarks)
{
    const auto latin1 = [](std::string_view bytes) {
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        return std::u16string(data, data + bytes.size());
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

// The setup file is written only where what opens by its name is the file judged.
TEST(OutputRule, OnlyTheFileJudgedIsWritten)
{
    const FileInfo null = describe("/dev/null").value, zero = describe("/dev/zero").value;
    EXPECT_TRUE(openSetupFileOrReport("/dev/null", OpenJudged{null}));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openSetupFileOrReport("/dev/null", OpenJudged{zero}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Setup not written: cannot tell whether /dev/null is a replay: "s +
                  std::strerror(FILE_CHANGED) + "\n");
}

}  // namespace
}  // namespace tarvix::testing
