// Fuzz target: any bytes that loading passes on, summarised and exported as a run of Tarvix does.
#include "replay/replay_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size >= tarvix::MIN_REPLAY_SIZE) {
        tarvix::printReplaySummary({data, size}, "/dev/null",
                                   tarvix::ControlBytes::AsQuestionMarks);
    }
    return 0;
}
