// Fuzz target: any bytes as a replay file, loaded, summarised and exported the way the command
// line does it. The unit tests run its saved corpus through it in every build.
#include <cstdint>
#include <cstdio>

#include "cli/replay_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // fmemopen takes a writable pointer; a stream opened for reading never writes through it.
    tarvix::File file(fmemopen(const_cast<std::uint8_t*>(data), size, "rb"));
    if (file) {
        tarvix::loadAndSummarise(std::move(file), "fuzz.rpl", "/dev/null");
    }
    return 0;
}
