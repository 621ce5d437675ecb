// Runs every file named on the command line (or found in a directory named there) through the
// fuzz target once, so that inputs that once crashed stay fixed in every build.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "replay_builder.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
                inputs.push_back(entry.path());
            }
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    // Keep the summaries out of the test log; report on a stream of our own.
    std::FILE* report = fdopen(dup(2), "w");
    if (report == nullptr || std::freopen("/dev/null", "w", stdout) == nullptr ||
        std::freopen("/dev/null", "w", stderr) == nullptr) {
        return 2;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& input : inputs) {
        const tarvix::testing::Bytes bytes = tarvix::testing::readFile(input);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::fprintf(report, "%zu passed, 0 failed\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
