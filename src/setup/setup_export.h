// Writing the car setup stored in a replay to a file of its own.
#pragma once

#include <cstdint>
#include <span>

#include "output_rule.h"

namespace tarvix {

// Setups of this many bytes or more are refused.
inline constexpr std::uint32_t SETUP_SIZE_LIMIT = 50000;

// Writes the first `length` bytes of `available`, less trailing zero bytes, to the file judged
// for `setupPath`, after all that standard output holds, and reports the outcome on standard
// output or standard error. A length of SETUP_SIZE_LIMIT or more, or one that runs past
// `available`, touches no file. "Setup written" is printed only once the file was closed
// without error.
void exportSetup(std::span<const std::uint8_t> available, std::uint32_t length,
                 const char* setupPath, const SetupTarget& target);

}  // namespace tarvix
