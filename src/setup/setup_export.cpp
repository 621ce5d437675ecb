#include "setup/setup_export.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "report.h"

#include <unistd.h>

namespace tarvix {
namespace {

#ifdef ESTALE
constexpr int FILE_CHANGED = ESTALE;  // the file judged is gone from its name
#else
constexpr int FILE_CHANGED = EBUSY;
#endif

// The length of `setup` without its trailing zero bytes, keeping at least the first byte.
std::size_t trimmedSetupLength(std::span<const std::uint8_t> setup)
{
    std::size_t length = setup.size();
    while (length > 1 && setup[length - 1] == 0) {
        --length;
    }
    return length;
}

bool isRegularFile(std::FILE* file)
{
    struct stat info {};
    return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

// The target as a stream to write the setup to, emptied; null once the failure was reported.
File openForWriting(SetupTarget& target)
{
    File file = std::move(target.file);
    if (file) {
        std::rewind(file.get());  // where the check read it
        if (isRegularFile(file.get()) && ftruncate(fileno(file.get()), 0) != 0) {
            const int error = errno;
            file.reset();
            errno = error;
        }
    } else if (target.reopenAs != 0) {
        file = openFile(target.path, O_WRONLY, "wb");
        struct stat info {};
        if (file &&
            (fstat(fileno(file.get()), &info) != 0 || (info.st_mode & S_IFMT) != target.reopenAs ||
             fileIdOf(file.get()) != target.judged)) {
            file.reset();  // the name now leads to a file that was never judged
            reportCannotTell(target.path, FILE_CHANGED);
            return nullptr;
        }
    } else if (target.openError == ENOENT) {
        file = openFile(target.path, O_WRONLY | O_CREAT | O_EXCL, "wb");
    } else {
        errno = target.openError;
    }
    if (!file) {
        reportError("Could not open file %s: %s\n", target.path, std::strerror(errno));
    }
    return file;
}

}  // namespace

void reportCannotTell(const char* path, int error)
{
    reportError("Setup not written: cannot tell whether %s is a replay: %s\n", path,
                std::strerror(error));
}

void exportSetup(std::span<const std::uint8_t> available, std::uint32_t length, SetupTarget& target)
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

    File file = openForWriting(target);
    if (!file) {
        return;
    }
    std::string setup(reinterpret_cast<const char*>(available.data()), count);
    if (isatty(fileno(file.get())) != 0) {  // a setup holds any bytes, which would drive it
        setup = maskControls(setup);
    }
    const std::size_t written = std::fwrite(setup.data(), 1, setup.size(), file.get());
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
        reportError("Error writing file %s: %s\n", target.path,
                    std::strerror(flushed != 0 ? flushError : errno));
        return;
    }
    report(stdout, "Setup written to %s\n", target.path);
}

}  // namespace tarvix
