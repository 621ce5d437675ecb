// Fuzz target: any bytes that loading passes on, summarised and exported as a run of Tarvix
// does, and shown as a terminal would get them.
#include "replay/replay_summary.h"
#include "report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size >= tarvix::MIN_REPLAY_SIZE) {
        tarvix::SetupTarget target{.path = "/dev/null", .file{std::fopen("/dev/null", "wb")}};
        tarvix::printReplaySummary({data, size}, &target);
    }
    tarvix::maskControls({reinterpret_cast<const char*>(data), size});
    return 0;
}
