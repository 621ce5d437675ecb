#include "replay/replay_layout.h"

#include <bit>  // std::endian
#include <cstring>

namespace tarvix {
namespace {

constexpr std::size_t PROFILE_NAME_OFFSET = 12;
constexpr std::size_t PROFILE_NAME_SIZE = 16;
constexpr std::size_t MAP_NUMBER_OFFSET = 28;
constexpr std::size_t CAR_SLOT_OFFSET = 32;

// Distances of the fields around the setup marker.
constexpr std::size_t CHECKPOINT1_BEFORE_MARKER = 24;
constexpr std::size_t CHECKPOINT2_BEFORE_MARKER = 20;
constexpr std::size_t STAGE_TIME_BEFORE_MARKER = 16;
constexpr std::size_t LENGTH_AFTER_MARKER = 4;
constexpr std::size_t BYTES_AFTER_MARKER = 8;

constexpr std::size_t WORD_SIZE = 4;

// Words tested in one step of the marker search: the test of a block for any match costs as
// much as a few compares, so it comes once per 512 bytes.
constexpr std::size_t BLOCK_WORDS = 128;

// Little-endian on any host, as one plain load where the host is little-endian.
std::uint32_t readU32(ReplayImage image, std::size_t offset)
{
    const std::uint8_t* p = image.data() + offset;
    if constexpr (std::endian::native == std::endian::little) {
        std::uint32_t value = 0;
        std::memcpy(&value, p, sizeof value);
        return value;
    } else {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }
}

// The value whose bits are `bits`, as std::bit_cast gives it where the library has it (the
// libc++ of Emscripten 3.1.6 does not).
template <typename T>
T fromBits(std::uint32_t bits)
{
    static_assert(sizeof(T) == sizeof bits);
    T value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::int32_t readI32(ReplayImage image, std::size_t offset)
{
    return fromBits<std::int32_t>(readU32(image, offset));
}

float readF32(ReplayImage image, std::size_t offset)
{
    return fromBits<float>(readU32(image, offset));
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
    const std::size_t words = image.size() / WORD_SIZE;  // whole words only
    const auto wordAt = [image](std::size_t index) { return readU32(image, index * WORD_SIZE); };
    // Whole blocks first, each tested for any match in a loop without early exit, which the
    // compiler turns into vector compares; the word loop then finds the match in its block.
    std::size_t index = 0;
    for (; words - index >= BLOCK_WORDS; index += BLOCK_WORDS) {
        unsigned matches = 0;
        for (std::size_t i = 0; i < BLOCK_WORDS; ++i) {
            matches |= static_cast<unsigned>(wordAt(index + i) == word);
        }
        if (matches != 0) {
            break;
        }
    }
    for (; index < words; ++index) {
        if (wordAt(index) == word) {
            return index * WORD_SIZE;
        }
    }
    return std::nullopt;
}

bool setupBlockInside(std::size_t marker, std::size_t imageSize)
{
    // Checked before subtracting or adding, so neither can wrap.
    return marker >= CHECKPOINT1_BEFORE_MARKER && marker <= imageSize &&
           imageSize - marker >= BYTES_AFTER_MARKER;
}

std::optional<SetupBlock> readSetupBlock(ReplayImage image, std::size_t marker)
{
    if (!setupBlockInside(marker, image.size())) {
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
