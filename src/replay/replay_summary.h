// The summary Tarvix prints for a replay, and the name tables behind it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "replay/replay_layout.h"

namespace tarvix {

struct MapEntry {
    std::int32_t number;
    const char* name;
};

// The stage for a map number; numbers without a row of their own give the "Custom" row.
const MapEntry& mapEntryForNumber(std::int32_t number);

// The car name for a car slot; slots outside 0..7 give "Unknown".
const char* carNameForSlot(std::int32_t slot);

// A race time as text, zero-terminated.
struct RaceTimeText {
    std::array<char, 48> chars;
    [[nodiscard]] const char* c_str() const { return chars.data(); }
};

// Minutes and seconds as "%d:%05.2f" would print them, except that a seconds value exactly
// halfway between two hundredths rounds away from zero (75.125 gives "1:15.13"). Minutes are
// fixed before the seconds are rounded, so 59.996 gives "0:60.00". Any float is accepted:
// NaN gives "nan", infinities "inf" and "-inf", and beyond the 32-bit range the minutes are
// printed in full.
RaceTimeText formatRaceTime(float seconds);

// Prints the profile, map and car lines, then the three times or "Car setup not found", and
// gives the setup block when it is there. On a terminal the profile name shows each control
// character as '?' (report.h). The image must hold at least MIN_REPLAY_SIZE bytes; nothing
// outside it is read.
std::optional<SetupBlock> printReplaySummary(ReplayImage image);

}  // namespace tarvix
