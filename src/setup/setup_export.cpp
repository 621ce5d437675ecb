#include "setup/setup_export.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "report.h"

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

void exportSetup(std::span<const std::uint8_t> available, std::uint32_t length, const char* path)
{
    if (length >= SETUP_SIZE_LIMIT) {
        std::printf("Car setup too large (%d bytes)\n", static_cast<std::int32_t>(length));
        return;
    }
    // A damaged replay may claim more than it holds; write nothing rather than part of it.
    if (length > available.size()) {
        reportError("Car setup truncated (%d of %d bytes present)\n",
                    static_cast<int>(available.size()), static_cast<int>(length));
        return;
    }
    const std::size_t count = trimmedSetupLength(available.first(length));

    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        reportError("Could not open file %s: %s\n", path, std::strerror(errno));
        return;
    }
    const std::size_t written = std::fwrite(available.data(), 1, count, file);
    if (written != count) {
        reportError("Unexpected number of bytes written: %d (expected %d)\n",
                    static_cast<int>(written), static_cast<int>(count));
        std::fclose(file);
        return;
    }
    // The data may still sit in the stream's buffer: only a clean flush and close mean that it is
    // in the file. The flush is checked on its own, as not every C library's fclose reports it.
    const int flushed = std::fflush(file);
    const int flushError = errno;
    if (std::fclose(file) != 0 || flushed != 0) {
        reportError("Error writing file %s: %s\n", path,
                    std::strerror(flushed != 0 ? flushError : errno));
        return;
    }
    std::printf("Setup written to %s\n", path);
}

}  // namespace tarvix
