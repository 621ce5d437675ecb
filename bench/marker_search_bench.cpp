// The marker search against the C library's memchr over the same 64 MiB image, which holds
// neither the marker nor the byte memchr looks for: both read every byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "replay/replay_layout.h"

namespace {

constexpr std::size_t IMAGE_SIZE = std::size_t{64} << 20;
constexpr int ABSENT_BYTE = 0xFF;

const std::vector<std::uint8_t>& image()
{
    // Steps of 7 modulo 255: never 0xFF, and never the rises and falls of "PTSC".
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> filled(IMAGE_SIZE);
        for (std::size_t i = 0; i < filled.size(); ++i) {
            filled[i] = static_cast<std::uint8_t>((i * 7 + 3) % 255);
        }
        return filled;
    }();
    return bytes;
}

void findSetupMarker(benchmark::State& state)
{
    const std::vector<std::uint8_t>& bytes = image();
    for (auto _ : state) {
        auto found = tarvix::findSetupMarker(bytes, tarvix::SETUP_MARKER);
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * IMAGE_SIZE));
}

void memchrNoMatch(benchmark::State& state)
{
    const std::vector<std::uint8_t>& bytes = image();
    for (auto _ : state) {
        const void* found = std::memchr(bytes.data(), ABSENT_BYTE, bytes.size());
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * IMAGE_SIZE));
}

BENCHMARK(findSetupMarker)->Unit(benchmark::kMillisecond);
BENCHMARK(memchrNoMatch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
