// Writes the synthetic replays the project ships: the sample, and the fuzzer's seed corpus; or
// a large replay of a given size, with its setup block 4 KiB before the end, for the benchmarks.
//   tarvix_write_replays <sample path> [<corpus directory>]
//   tarvix_write_replays --large <path> <size in bytes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "replay_builder.h"

using tarvix::testing::Bytes;
using tarvix::testing::ReplayBuilder;

namespace {

void writeCorpus(const std::string& dir)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Bytes setup = {1, 2, 3, 4, 0, 0};
    const std::pair<const char*, Bytes> seeds[] = {
        {"sample", tarvix::testing::sampleReplay()},
        {"minimal-65", ReplayBuilder(65).bytes()},
        {"full-name", ReplayBuilder().profile("ABCDEFGHIJKLMNOP").map(50).car(7).bytes()},
        {"marker-at-0", ReplayBuilder().marker(0).setupBlock(96, 1, 2, 3, setup).bytes()},
        {"marker-before-24", ReplayBuilder().marker(20).setupBlock(96, 1, 2, 3, setup).bytes()},
        {"marker-at-24", ReplayBuilder(40).setupBlock(24, 1, 2, 3, setup).bytes()},
        {"marker-last-word", ReplayBuilder(100).marker(96).bytes()},
        {"marker-partial-word", ReplayBuilder(99).raw(96, "PTS").bytes()},
        {"length-cut", ReplayBuilder(102).marker(96).bytes()},
        {"length-at-end", ReplayBuilder(104).setupBlock(96, 1, 2, 3, {}).bytes()},
        {"setup-past-end",
         ReplayBuilder(107).setupBlock(96, 1, 2, 3, {1, 2, 3}).u32(100, 4).bytes()},
        {"setup-huge-length",
         ReplayBuilder().setupBlock(96, 1, 2, 3, setup).u32(100, 0xFFFFFFF8).bytes()},
        {"setup-limit", ReplayBuilder().setupBlock(96, 1, 2, 3, setup).u32(100, 50000).bytes()},
        {"setup-zeros", ReplayBuilder().setupBlock(96, 1, 2, 3, {0, 0, 0}).bytes()},
        {"two-markers",
         ReplayBuilder(200).setupBlock(96, 1, 2, 3, setup).setupBlock(160, 4, 5, 6, setup).bytes()},
        {"unaligned-decoys",
         ReplayBuilder(200).marker(61).marker(98).setupBlock(160, 1, 2, 3, setup).bytes()},
        {"odd-times", ReplayBuilder().setupBlock(96, nan, -inf, -2147483648.0F, setup).bytes()},
        {"tie-times", ReplayBuilder().setupBlock(96, 75.125F, -1.125F, 59.996F, setup).bytes()},
        {"max-times", ReplayBuilder()
                          .setupBlock(96, std::numeric_limits<float>::max(), 3605, -61, setup)
                          .bytes()},
    };
    for (const auto& [name, bytes] : seeds) {
        tarvix::testing::writeFile(dir + "/" + name, bytes);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--large") {
        const std::size_t size = std::stoull(argv[3]) / 4 * 4;
        Bytes setup(300, 0);
        for (std::size_t i = 0; i < 200; ++i) {
            setup[i] = static_cast<std::uint8_t>(i + 1);
        }
        tarvix::testing::writeFile(
            argv[2],
            ReplayBuilder(size).setupBlock(size - 4096, 30.5F, 61.25F, 95.0F, setup).bytes());
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr,
                     "usage: tarvix_write_replays <sample path> [<corpus directory>]\n"
                     "       tarvix_write_replays --large <path> <size in bytes>\n");
        return 1;
    }
    tarvix::testing::writeFile(argv[1], tarvix::testing::sampleReplay());
    if (argc == 3) {
        writeCorpus(argv[2]);
    }
    return 0;
}
