// Fuzz target: any bytes, loaded as a replay image, through the summary and the setup export,
// the way the command line hands them over. Built with libFuzzer (TARVIX_FUZZ) and, without it,
// by replay_corpus_test to run the saved corpus as an ordinary test.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "replay/replay_layout.h"
#include "replay/replay_summary.h"

namespace {

std::string setupPath;

void removeScratch()
{
    std::remove(setupPath.c_str());
    rmdir(setupPath.substr(0, setupPath.rfind('/')).c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    // The setup file goes to a scratch directory of its own. The summary's lines would drown
    // the fuzzer's: run it with -close_fd_mask=3.
    char scratch[] = "/tmp/tarvix-fuzz-XXXXXX";
    if (mkdtemp(scratch) == nullptr) {
        std::abort();
    }
    setupPath = std::string(scratch) + "/out.setup";
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < tarvix::MIN_REPLAY_SIZE) {
        return -1;  // the command line refuses these before any analysis; keep them out of the
                    // corpus
    }
    tarvix::printReplaySummary(std::span(data, size), setupPath.c_str());
    return 0;
}
