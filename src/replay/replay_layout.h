// The byte layout of a replay file: the one place that knows where its fields lie.
//
// All numbers are little-endian; offsets count from the first byte of the file.
//
//   offset  size  field           encoding
//   0       12    (not read)
//   12      16    profile name    8-bit characters up to the first zero byte; may fill all 16
//   28      4     map number      signed 32-bit
//   32      4     car slot        signed 32-bit
//   36      ...   (not read, except for the setup block)
//
// The setup block sits at m, the first offset that is a multiple of 4 and holds the word
// SETUP_MARKER (the bytes "PTSC"); the three race times stand before it:
//
//   from m  size  field               encoding
//   -24     4     checkpoint 1 time   IEEE 754 single precision, seconds
//   -20     4     checkpoint 2 time   IEEE 754 single precision, seconds
//   -16     4     stage time          IEEE 754 single precision, seconds
//   -12     12    (not read)
//   0       4     SETUP_MARKER        "PTSC"
//   +4      4     setup length L      unsigned 32-bit
//   +8      L     setup bytes         raw
//
// Replays come from outside and may be damaged: no read here ever looks outside the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tarvix {

// A whole replay file as loaded into memory.
using ReplayImage = std::span<const std::uint8_t>;

inline constexpr std::uint32_t SETUP_MARKER = 0x43535450;  // "PTSC" read little-endian
inline constexpr std::string_view SETUP_MARKER_BYTES = "PTSC";
inline constexpr std::size_t MIN_REPLAY_SIZE = 65;          // the fixed fields and a little more
inline constexpr std::size_t MAX_REPLAY_SIZE = 2147483647;  // sizes are signed 32-bit in messages

// The fixed fields. The image must hold at least MIN_REPLAY_SIZE bytes.
std::string_view profileName(ReplayImage image);  // ends before a zero byte, or after 16 bytes
std::int32_t mapNumber(ReplayImage image);
std::int32_t carSlot(ReplayImage image);

// Offset of the first 4-aligned 32-bit word equal to `word`, or none. Only words that lie
// wholly inside the image are compared, so a trailing partial word never matches.
std::optional<std::size_t> findSetupMarker(ReplayImage image, std::uint32_t word);

struct SetupBlock {
    float checkpoint1;
    float checkpoint2;
    float stageTime;
    std::uint32_t length;                 // setup length as stored; may claim more than is there
    std::span<const std::uint8_t> bytes;  // everything after the length field, to the image end
};

// Whether the times before a marker at `marker` and the length field after it lie inside an
// image of `imageSize` bytes: false for a marker before offset 24 or in the last 8 bytes.
bool setupBlockInside(std::size_t marker, std::size_t imageSize);

// The times, length and setup bytes around the marker at `marker`, or none when they are not
// inside the image (setupBlockInside).
std::optional<SetupBlock> readSetupBlock(ReplayImage image, std::size_t marker);

}  // namespace tarvix
