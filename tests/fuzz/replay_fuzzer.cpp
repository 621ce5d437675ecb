// Any bytes loading passes on, summarised and exported as a run does, and shown on a terminal.
#include "replay/replay_summary.h"
#include "setup/setup_export.h"
#include "terminal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto block =
        size >= tarvix::MIN_REPLAY_SIZE ? tarvix::printReplaySummary({data, size}) : std::nullopt;
    if (block) {
        tarvix::exportSetup(block->bytes, block->length, "/dev/null",
                            tarvix::OpenJudged{tarvix::describe("/dev/null").value});
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tarvix::maskControls(text);
    tarvix::consoleText(text, true,
                        [](std::string_view bytes) { return std::u16string(bytes.size(), u'x'); });
    return 0;
}
