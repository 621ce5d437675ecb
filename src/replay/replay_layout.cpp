#include "replay/replay_layout.h"

#include <bit>
#include <cstring>

namespace tarvix {
namespace {

constexpr std::size_t PROFILE_NAME_OFFSET = 12;
constexpr std::size_t MAP_NUMBER_OFFSET = 28;
constexpr std::size_t CAR_SLOT_OFFSET = 32;

// Distances of the fields around the setup marker.
constexpr std::size_t CHECKPOINT1_BEFORE_MARKER = 24;
constexpr std::size_t CHECKPOINT2_BEFORE_MARKER = 20;
constexpr std::size_t STAGE_TIME_BEFORE_MARKER = 16;
constexpr std::size_t LENGTH_AFTER_MARKER = 4;
constexpr std::size_t BYTES_AFTER_MARKER = 8;

constexpr std::size_t WORD_SIZE = 4;

// Words tested in one step of the marker search: two cache lines.
constexpr std::size_t BLOCK_WORDS = 32;

// Little-endian on any host, as one plain load where the host is little-endian.
std::uint32_t loadU32(const std::uint8_t* p)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t value = 0;
        std::memcpy(&value, p, sizeof value);
        return value;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

#if defined(__GNUC__)
// Whether any of the BLOCK_WORDS words at `block` holds the four bytes of `inMemory`. This test
// decides the speed of the whole search: GCC and Clang compare four words per instruction
// through their generic vectors, which they lower to SSE2, NEON or plain code as the target
// allows. Comparing bytes as they lie in memory needs no byte swapping on any host.
bool blockHoldsWord(const std::uint8_t* block, std::uint32_t inMemory)
{
    using Lanes = std::uint32_t __attribute__((vector_size(16)));
    constexpr std::size_t LANES_SIZE = sizeof(Lanes);
    const auto lanes = [block](std::size_t index) {
        Lanes value;
        std::memcpy(&value, block + index * LANES_SIZE, LANES_SIZE);
        return value;
    };
    const Lanes wanted = {inMemory, inMemory, inMemory, inMemory};
    Lanes matches = lanes(0) == wanted;
    for (std::size_t i = 1; i < BLOCK_WORDS * WORD_SIZE / LANES_SIZE; ++i) {
        matches |= lanes(i) == wanted;
    }
    std::uint64_t halves[2];
    std::memcpy(halves, &matches, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}
#endif

std::uint32_t readU32(ReplayImage image, std::size_t offset)
{
    return loadU32(image.data() + offset);
}

std::int32_t readI32(ReplayImage image, std::size_t offset)
{
    return std::bit_cast<std::int32_t>(readU32(image, offset));
}

float readF32(ReplayImage image, std::size_t offset)
{
    return std::bit_cast<float>(readU32(image, offset));
}

}  // namespace

std::string_view profileName(ReplayImage image)
{
    const auto* name = reinterpret_cast<const char*>(image.data() + PROFILE_NAME_OFFSET);
    const void* zero = std::memchr(name, 0, PROFILE_NAME_SIZE);
    const std::size_t length = zero != nullptr
                                   ? static_cast<std::size_t>(static_cast<const char*>(zero) - name)
                                   : PROFILE_NAME_SIZE;
    return {name, length};
}

std::int32_t mapNumber(ReplayImage image)
{
    return readI32(image, MAP_NUMBER_OFFSET);
}

std::int32_t carSlot(ReplayImage image)
{
    return readI32(image, CAR_SLOT_OFFSET);
}

std::optional<std::size_t> findSetupMarker(ReplayImage image, std::uint32_t word)
{
    const std::uint8_t* data = image.data();
    const std::size_t words = image.size() / WORD_SIZE;  // whole words only
    std::size_t index = 0;
#if defined(__GNUC__)
    // Whole blocks first, skipped while they hold no match; the word-by-word search below then
    // starts at the block that does, or after the last whole block.
    const std::uint8_t little[WORD_SIZE] = {
        static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
        static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
    std::uint32_t inMemory = 0;
    std::memcpy(&inMemory, little, WORD_SIZE);
    for (; words - index >= BLOCK_WORDS; index += BLOCK_WORDS) {
        if (blockHoldsWord(data + index * WORD_SIZE, inMemory)) {
            break;
        }
    }
#endif
    for (; index < words; ++index) {
        if (loadU32(data + index * WORD_SIZE) == word) {
            return index * WORD_SIZE;
        }
    }
    return std::nullopt;
}

std::optional<SetupBlock> readSetupBlock(ReplayImage image, std::size_t marker)
{
    // Check before subtracting or adding, so neither can wrap.
    if (marker < CHECKPOINT1_BEFORE_MARKER || marker > image.size() ||
        image.size() - marker < BYTES_AFTER_MARKER) {
        return std::nullopt;
    }
    return SetupBlock{
        .checkpoint1 = readF32(image, marker - CHECKPOINT1_BEFORE_MARKER),
        .checkpoint2 = readF32(image, marker - CHECKPOINT2_BEFORE_MARKER),
        .stageTime = readF32(image, marker - STAGE_TIME_BEFORE_MARKER),
        .length = readU32(image, marker + LENGTH_AFTER_MARKER),
        .bytes = image.subspan(marker + BYTES_AFTER_MARKER),
    };
}

}  // namespace tarvix
