#include "replay/replay_summary.h"

#include <cmath>
#include <cstdio>
#include <iterator>
#include <string_view>

#include "report.h"

namespace tarvix {
namespace {

// Rows in table order; the row numbered -1 ends the table and names every stage without a
// row of its own.
constexpr MapEntry mapNames[] = {
    {10, "Kaihuavaara"},
    {11, "Mustaselka"},
    {12, "Sikakama"},
    {13, "Autiovaara"},
    {14, "Kaihuavaara II"},
    {15, "Mustaselka II"},
    {16, "Sikakama II"},
    {17, "Autiovaara II"},
    {20, "Harwood Forest"},
    {21, "Falstone"},
    {22, "Chirdonhead"},
    {23, "Shepherds Shield"},
    {24, "Harwood Forest II"},
    {25, "Chirdonhead II"},
    {26, "Falstone II"},
    {27, "Shepherds Shield II"},
    {30, "Greenhills II"},
    {31, "NewBobs"},
    {32, "Greenhills"},
    {33, "Mineshaft"},
    {34, "East-West"},
    {35, "NewBobs II"},
    {36, "East-West II"},
    {37, "Mineshaft II"},
    {41, "Cote D'Arbroz"},
    {42, "Joux Verte"},
    {43, "Bisanne"},
    {44, "Joux Plane"},
    {45, "Joux Verte II"},
    {46, "Cote D'Arbroz II"},
    {47, "Bisanne II"},
    {48, "Joux Plane II"},
    {50, "Sipirkakim II "},  // the trailing blank is the stage's own
    {51, "Noiker"},
    {52, "Sipirkakim"},
    {53, "Pirka Menoko"},
    {54, "Tanner"},
    {55, "Noiker II"},
    {56, "Tanner II"},
    {57, "Pirka Menoko II"},
    {60, "Fraizer Wells II"},
    {61, "Fraizer Wells"},
    {62, "Prospect Ridge"},
    {63, "Diamond Creek"},
    {64, "Hualapai Nation"},
    {65, "Prospect Ridge II"},
    {66, "Diamond Creek II"},
    {67, "Hualapai Nation II"},
    {71, "Rally School Stage"},
    {-1, "Custom"},
};

constexpr const char* carNames[] = {
    "Citroen Xsara", "Hyundai Accent",      "MG ZR Super 1600", "Mitsubishi Lancer Evo VII",
    "Peugeot 206",   "Subaru Impreza 2003", "Toyota Corolla",   "Subaru Impreza 2000",
};

constexpr float INT32_LIMIT = 2147483648.0F;  // 2^31: minutes below this go through int32

}  // namespace

const MapEntry& mapEntryForNumber(std::int32_t number)
{
    const MapEntry* entry = mapNames;
    while (entry->number > 0 && entry->number != number) {
        ++entry;
    }
    return *entry;
}

const char* carNameForSlot(std::int32_t slot)
{
    if (slot < 0 || static_cast<std::size_t>(slot) >= std::size(carNames)) {
        return "Unknown";
    }
    return carNames[slot];
}

RaceTimeText formatRaceTime(float seconds)
{
    RaceTimeText text{};
    char* out = text.chars.data();
    const std::size_t size = text.chars.size();
    if (std::isnan(seconds)) {
        std::snprintf(out, size, "nan");
        return text;
    }
    if (std::isinf(seconds)) {
        std::snprintf(out, size, "%s", seconds > 0 ? "inf" : "-inf");
        return text;
    }

    // fmod is exact, and so is the product below: the remainder of a float has at most 24
    // significant bits and 100 adds at most 7, well inside a double. Rounding that exact value
    // with round() breaks ties away from zero, which printf's round-half-even would not.
    const double remainder = std::fmod(static_cast<double>(seconds), 60.0);
    const int hundredths = static_cast<int>(std::round(std::fabs(remainder) * 100.0));
    const int whole = hundredths / 100;
    const int fraction = hundredths % 100;
    // "%05.2f" pads to five characters: "05.25", but "-1.13" already has five.
    const bool negative = std::signbit(remainder);
    const char* sign = negative ? "-" : "";
    const int wholeWidth = negative ? 1 : 2;

    if (std::fabs(seconds) < INT32_LIMIT) {
        const std::int32_t minutes = static_cast<std::int32_t>(seconds) / 60;
        std::snprintf(out, size, "%d:%s%0*d.%02d", minutes, sign, wholeWidth, whole, fraction);
    } else {
        // Beyond int32 the minutes are still trunc(t / 60), printed as the whole number it is.
        // The quotient goes through memory as a double: the x87 unit of 32-bit x86 keeps it in
        // 80 bits otherwise, and its truncation then gives other minutes than every other host.
        // Rounding first to 64 bits and then to 53 gives what rounding once does here, as the
        // bits that t / 60 drops repeat with a period of four and never lie near a half.
        const volatile double quotient = static_cast<double>(seconds) / 60.0;
        const double minutes = std::trunc(quotient);
        std::snprintf(out, size, "%.0f:%s%0*d.%02d", minutes, sign, wholeWidth, whole, fraction);
    }
    return text;
}

std::optional<SetupBlock> printReplaySummary(ReplayImage image)
{
    const std::string_view name = profileName(image);
    const std::int32_t map = mapNumber(image);
    const std::int32_t car = carSlot(image);
    report(stdout, "Profile name: %.*s\n", static_cast<int>(name.size()), name.data());
    report(stdout, "Map nr.     : %d (%s)\n", map, mapEntryForNumber(map).name);
    report(stdout, "Car slot    : %d (%s)\n", car, carNameForSlot(car));

    const std::optional<std::size_t> marker = findSetupMarker(image, SETUP_MARKER);
    const std::optional<SetupBlock> block = marker ? readSetupBlock(image, *marker) : std::nullopt;
    if (!block) {
        report(stdout, "Car setup not found\n");
        return std::nullopt;
    }
    report(stdout, "Checkpoint 1: %s\n", formatRaceTime(block->checkpoint1).c_str());
    report(stdout, "Checkpoint 2: %s\n", formatRaceTime(block->checkpoint2).c_str());
    report(stdout, "Stage time  : %s\n", formatRaceTime(block->stageTime).c_str());
    return block;
}

}  // namespace tarvix
