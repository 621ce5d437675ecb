// The marker search against the C library's memchr over the same 64 MiB image, which holds
// neither the marker nor the byte memchr looks for: both read every byte.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "replay/replay_layout.h"

namespace {

constexpr std::size_t MIB = std::size_t{1} << 20;
constexpr int ABSENT_BYTE = 0xFF;

tarvix::ReplayImage image(const benchmark::State& state)
{
    constexpr std::size_t SIZE = 64 * MIB;
    static auto* const bytes = [] {
        auto* filled = new std::uint8_t[SIZE];
        for (std::size_t i = 0; i < SIZE; ++i) {  // never 0xFF, never the rises and falls of "PTSC"
            filled[i] = static_cast<std::uint8_t>((i * 7 + 3) % 255);
        }
        return filled;
    }();
    return {bytes, static_cast<std::size_t>(state.range(0)) * MIB};
}

void findSetupMarker(benchmark::State& state)
{
    const tarvix::ReplayImage bytes = image(state);
    for (auto _ : state) {
        auto found = tarvix::findSetupMarker(bytes, tarvix::SETUP_MARKER);
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void memchrNoMatch(benchmark::State& state)
{
    const tarvix::ReplayImage bytes = image(state);
    for (auto _ : state) {
        const void* found = std::memchr(bytes.data(), ABSENT_BYTE, bytes.size());
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(findSetupMarker)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(memchrNoMatch)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
