#include "replay/replay_summary.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace tarvix {
namespace {

TEST(NameTables, MapEntryForNumber)
{
    const std::pair<std::int32_t, std::string_view> cases[] = {
        {10, "Kaihuavaara"},
        {27, "Shepherds Shield II"},
        {30, "Greenhills II"},
        {32, "Greenhills"},
        {41, "Cote D'Arbroz"},
        {50, "Sipirkakim II "},
        {52, "Sipirkakim"},
        {60, "Fraizer Wells II"},
        {61, "Fraizer Wells"},
        {67, "Hualapai Nation II"},
        {71, "Rally School Stage"},
        {0, "Custom"},
        {18, "Custom"},
        {40, "Custom"},
        {72, "Custom"},
        {-1, "Custom"},
        {INT32_MIN, "Custom"},
        {INT32_MAX, "Custom"},
    };
    for (const auto& [number, name] : cases) {
        EXPECT_EQ(std::string_view(mapEntryForNumber(number).name), name) << number;
    }
    int ownRows = 0;  // 49 stages and the terminating row
    for (std::int32_t number = -5; number < 100; ++number) {
        ownRows += mapEntryForNumber(number).number == number ? 1 : 0;
    }
    EXPECT_EQ(ownRows, 50);
}

TEST(NameTables, CarNameForSlot)
{
    const std::pair<std::int32_t, std::string_view> cases[] = {
        {0, "Citroen Xsara"},
        {3, "Mitsubishi Lancer Evo VII"},
        {7, "Subaru Impreza 2000"},
        {8, "Unknown"},
        {-1, "Unknown"},
        {INT32_MIN, "Unknown"},
        {INT32_MAX, "Unknown"},
    };
    for (const auto& [slot, name] : cases) {
        EXPECT_EQ(std::string_view(carNameForSlot(slot)), name) << slot;
    }
}

float fromBits(std::uint32_t bits)
{
    return std::bit_cast<float>(bits);
}

TEST(FormatRaceTime, Examples)
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, std::string_view> cases[] = {
        {0.0F, "0:00.00"},
        {5.25F, "0:05.25"},
        {61.25F, "1:01.25"},
        {95.0F, "1:35.00"},
        // exact halves round away from zero; .375 and .875 agree with either rule
        {75.125F, "1:15.13"},
        {61.625F, "1:01.63"},
        {0.625F, "0:00.63"},
        {0.375F, "0:00.38"},
        {-1.125F, "0:-1.13"},
        {-0.625F, "0:-0.63"},
        // the minutes are fixed before the seconds round, and never become hours
        {59.996F, "0:60.00"},
        {119.999F, "1:60.00"},
        {3605.0F, "60:05.00"},
        {-1.5F, "0:-1.50"},
        {-61.0F, "-1:-1.00"},
        {-0.0F, "0:-0.00"},
        {fromBits(1), "0:00.00"},
        {2147483520.0F, "35791392:00.00"},
        // past 32 bits the minutes are still trunc(t / 60)
        {2147483648.0F, "35791394:08.00"},
        {-2147483648.0F, "-35791394:-8.00"},
        {std::numeric_limits<float>::max(), "5671372443975480996861736391408615424:00.00"},
        {inf, "inf"},
        {-inf, "-inf"},
        {fromBits(0x7FC00000), "nan"},
        {fromBits(0xFFC00000), "nan"},
        {fromBits(0x7F800001), "nan"},
        {fromBits(0xFFFFFFFF), "nan"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(std::string_view(formatRaceTime(seconds).c_str()), text)
            << seconds << " bits " << std::bit_cast<std::uint32_t>(seconds);
    }
}

// The seconds rounded from their exact decimal expansion, which glibc prints in full: up in
// magnitude when the digits past the second decimal are 5 or more. This does not rely on the
// binary arithmetic the formatter relies on.
std::string referenceRaceTime(float t)
{
    const double remainder = std::fmod(static_cast<double>(t), 60.0);
    char exact[128];
    std::snprintf(exact, sizeof exact, "%.70f", std::fabs(remainder));
    const std::string digits(exact);
    const std::size_t point = digits.find('.');
    const int hundredths = std::stoi(digits.substr(0, point)) * 100 +
                           std::stoi(digits.substr(point + 1, 2)) + (digits[point + 3] >= '5');
    const bool negative = std::signbit(remainder);
    char text[64];
    std::snprintf(text, sizeof text, "%d:%s%0*d.%02d", static_cast<std::int32_t>(t) / 60,
                  negative ? "-" : "", negative ? 1 : 2, hundredths / 100, hundredths % 100);
    return text;
}

TEST(FormatRaceTime, MatchesDecimalRoundingOnRandomTimes)
{
    std::mt19937 random(20261207);
    std::uniform_int_distribution<std::uint32_t> bits;
    std::uniform_real_distribution<float> plausible(-600.0F, 3600.0F);
    for (int i = 0; i < 200000; ++i) {
        float t = i % 2 == 0 ? fromBits(bits(random)) : plausible(random);
        if (i % 4 == 1) {
            t = std::round(t * 8.0F) / 8.0F;  // an exact half of a hundredth, or an eighth
        }
        if (std::fabs(t) < 2147483648.0F) {
            ASSERT_EQ(formatRaceTime(t).c_str(), referenceRaceTime(t))
                << std::bit_cast<std::uint32_t>(t);
        }
    }
}

}  // namespace
}  // namespace tarvix
