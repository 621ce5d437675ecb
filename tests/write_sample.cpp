// Writes the synthetic sample replay shipped in samples/: tarvix_write_sample <path>
#include <cstdio>

#include "replay_builder.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvix_write_sample <path>\n");
        return 1;
    }
    tarvix::testing::writeFile(argv[1], tarvix::testing::sampleReplay());
    return 0;
}
