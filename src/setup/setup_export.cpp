#include "setup/setup_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "report.h"
#include "system.h"

namespace tarvix {
namespace {

// The length of `setup` without its trailing zero bytes, keeping at least the first byte.
std::size_t trimmedSetupLength(std::span<const std::uint8_t> setup)
{
    std::size_t length = setup.size();
    while (length > 1 && setup[length - 1] == 0) {
        --length;
    }
    return length;
}

}  // namespace

void exportSetup(std::span<const std::uint8_t> available, std::uint32_t length,
                 const char* setupPath, const SetupTarget& target)
{
    if (length >= SETUP_SIZE_LIMIT) {
        report(stdout, "Car setup too large (%d bytes)\n", static_cast<std::int32_t>(length));
        return;
    }
    // A damaged replay may claim more than it holds; write nothing rather than part of it.
    if (length > available.size()) {
        reportError("Car setup truncated (%d of %d bytes present)\n",
                    static_cast<int>(available.size()), static_cast<int>(length));
        return;
    }
    const std::string_view setup(reinterpret_cast<const char*>(available.data()),
                                 trimmedSetupLength(available.first(length)));
    flushStandardOutput();  // the summary comes first where the setup goes to the same place
    File file = openSetupFileOrReport(setupPath, target);
    if (!file) {
        return;
    }
    const std::size_t written = writeShown(file.get(), setup, false);
    if (written != setup.size()) {
        reportError("Unexpected number of bytes written: %d (expected %d)\n",
                    static_cast<int>(written), static_cast<int>(setup.size()));
        return;
    }
    // The data may still sit in the stream's buffer: only a clean flush and close mean that it is
    // in the file. The flush is checked on its own, as not every C library's fclose reports it.
    const int flushed = std::fflush(file.get());
    const int flushError = errno;
    if (std::fclose(file.release()) != 0 || flushed != 0) {
        reportError("Error writing file %s: %s\n", setupPath,
                    std::strerror(flushed != 0 ? flushError : errno));
        return;
    }
    report(stdout, "Setup written to %s\n", setupPath);
}

}  // namespace tarvix
