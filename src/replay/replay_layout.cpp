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

// Words tested in one step of the marker search: eight cache lines, so that the test of the
// block for any match, which costs as much as a few compares, comes once per 512 bytes. Fewer
// left the search behind memchr on images larger than the cache.
constexpr std::size_t BLOCK_WORDS = 128;

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

// The search word by word from word `index` on: the plain way, and the end of the others.
std::optional<std::size_t> searchWords(ReplayImage image, std::uint32_t word, std::size_t index)
{
    const std::size_t words = image.size() / WORD_SIZE;  // whole words only
    for (; index < words; ++index) {
        if (loadU32(image.data() + index * WORD_SIZE) == word) {
            return index * WORD_SIZE;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> findByWords(ReplayImage image, std::uint32_t word)
{
    return searchWords(image, word, 0);
}

#if defined(__GNUC__)
// Whole blocks of BLOCK_WORDS words first, skipped while none of their words holds the marker;
// the word-by-word search then starts at the block that does, or after the last whole block.
// The block test decides the speed of the whole search: GCC and Clang compare four or eight
// words per instruction through their generic vectors, lowered to SSE2, AVX2, NEON or plain
// code as the target allows. Comparing bytes as they lie in memory needs no swapping on any host.
using Lanes16 = std::uint32_t __attribute__((vector_size(16)));
using Lanes32 = std::uint32_t __attribute__((vector_size(32)));

template <typename Lanes>
[[gnu::always_inline]] inline std::optional<std::size_t> searchBlocks(ReplayImage image,
                                                                      std::uint32_t word)
{
    constexpr std::size_t LANE_BYTES = sizeof(Lanes);
    const std::uint8_t little[WORD_SIZE] = {
        static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
        static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
    std::uint32_t inMemory = 0;
    std::memcpy(&inMemory, little, WORD_SIZE);
    const Lanes wanted = Lanes{} + inMemory;

    const std::size_t words = image.size() / WORD_SIZE;
    std::size_t index = 0;
    for (; words - index >= BLOCK_WORDS; index += BLOCK_WORDS) {
        Lanes matches{};
        for (std::size_t at = 0; at < BLOCK_WORDS * WORD_SIZE; at += LANE_BYTES) {
            Lanes lanes;
            std::memcpy(&lanes, image.data() + index * WORD_SIZE + at, LANE_BYTES);
            matches |= lanes == wanted;
        }
        std::uint64_t parts[LANE_BYTES / sizeof(std::uint64_t)];
        std::memcpy(parts, &matches, LANE_BYTES);
        std::uint64_t any = 0;
        for (const std::uint64_t part : parts) {
            any |= part;
        }
        if (any != 0) {
            break;
        }
    }
    return searchWords(image, word, index);
}

std::optional<std::size_t> findBy16Bytes(ReplayImage image, std::uint32_t word)
{
    return searchBlocks<Lanes16>(image, word);
}
#endif

// 32-byte compares where the processor has them, chosen at run time. Not on Windows, whose
// compilers do not align the stack for 32-byte values that spill.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define TARVIX_SEARCH_AVX2 1
[[gnu::target("avx2")]] std::optional<std::size_t> findBy32Bytes(ReplayImage image,
                                                                 std::uint32_t word)
{
    return searchBlocks<Lanes32>(image, word);
}
#endif

// The fastest first; markerSearches() leaves out what the processor cannot run.
constexpr MarkerSearch SEARCHES[] = {
#if TARVIX_SEARCH_AVX2
    {"32-byte vectors", findBy32Bytes},
#endif
#if defined(__GNUC__)
    {"16-byte vectors", findBy16Bytes},
#endif
    {"words", findByWords},
};

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

std::span<const MarkerSearch> markerSearches()
{
    std::span<const MarkerSearch> searches = SEARCHES;
#if TARVIX_SEARCH_AVX2
    if (!__builtin_cpu_supports("avx2")) {
        searches = searches.subspan(1);
    }
#endif
    return searches;
}

std::optional<std::size_t> findSetupMarker(ReplayImage image, std::uint32_t word)
{
    return markerSearches().front().find(image, word);
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
