// Tarvix: prints the summary of a replay file and, with -s, exports the car setup stored in it.
//
//   Tarvix [-s <setup file>] <replay file>
//
// Exit status: 1 after the usage line; 5 when opening, measuring or reading the replay failed,
// or when standard output could not be written; 0 otherwise, whatever the summary reported.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "replay/replay_layout.h"
#include "replay/replay_summary.h"
#include "replay/report.h"
#include "setup/setup_export.h"

namespace {

constexpr int STATUS_DONE = 0;
constexpr int STATUS_USAGE = 1;
constexpr int STATUS_IO_ERROR = 5;

// Sizes are 32-bit signed quantities in every message; a larger file is no replay.
constexpr long MAX_REPLAY_SIZE = 2147483647;

struct Arguments {
    const char* replayPath = nullptr;  // the last argument that is not -s or its value
    const char* setupPath = nullptr;   // the value of the last -s that has one
};

bool isSetupOption(const char* argument)
{
    return argument[0] == '-' && (argument[1] == 's' || argument[1] == 'S') && argument[2] == '\0';
}

Arguments scanArguments(int argc, char** argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        if (isSetupOption(argv[i])) {
            if (i + 1 < argc) {
                arguments.setupPath = argv[++i];
            }
        } else {
            arguments.replayPath = argv[i];
        }
    }
    return arguments;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The block starts on a page boundary: the kernel copies a large read into a page-aligned
// destination several times faster than into one a few bytes past the boundary, which is
// where malloc would put it.
constexpr std::align_val_t IMAGE_ALIGNMENT{4096};

std::uint8_t* allocateImage(std::size_t size)
{
    return static_cast<std::uint8_t*>(::operator new(size, IMAGE_ALIGNMENT, std::nothrow));
}

struct ImageFree {
    void operator()(std::uint8_t* image) const { ::operator delete(image, IMAGE_ALIGNMENT); }
};
using ImageBlock = std::unique_ptr<std::uint8_t, ImageFree>;

// Loads the replay whole and prints its summary. A failed file operation returns with errno
// set for the caller to report; every other failure is reported here and leaves errno at 0.
void loadAndSummarise(const char* replayPath, const char* setupPath)
{
    File file(std::fopen(replayPath, "rb"));
    if (!file) {
        return;
    }
    // A directory opens for reading on Linux, and its measured size depends on the file
    // system; say what it is instead.
    struct stat info {};
    if (fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return;
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        return;
    }
    if (size < static_cast<long>(tarvix::MIN_REPLAY_SIZE) || size > MAX_REPLAY_SIZE) {
        tarvix::reportError("Not a replay file\n");
        errno = 0;
        return;
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        return;
    }
    const auto byteCount = static_cast<std::size_t>(size);
    ImageBlock image(allocateImage(byteCount));
    if (!image) {
        tarvix::reportError("Error allocating %d bytes of memory\n", static_cast<int>(size));
        errno = 0;  // running out of memory is not a read error
        return;
    }
    errno = 0;  // a short read is an error of the file only if the read says so
    const std::size_t count = std::fread(image.get(), 1, byteCount, file.get());
    if (count != byteCount) {
        tarvix::reportError("Unexpected number of bytes read: %d (expected: %d)\n",
                            static_cast<int>(count), static_cast<int>(size));
        return;
    }
    file.reset();  // closed before any line of the summary

    if (setupPath != nullptr && tarvix::isSameFile(setupPath, replayPath)) {
        tarvix::reportError("Setup not written: %s is the replay file\n", setupPath);
        setupPath = nullptr;
    }

    tarvix::printReplaySummary({image.get(), byteCount}, setupPath);
    errno = 0;  // nothing the summary or the export met is a failure of the run
}

// A run whose output was lost has failed, whatever it printed.
int checkStandardOutput(int status)
{
    const int error = tarvix::flushStandardOutput();
    if (error == 0) {
        return status;
    }
    std::fprintf(stderr, "Error writing standard output: %s\n", std::strerror(error));
    return STATUS_IO_ERROR;
}

int run(int argc, char** argv)
{
    std::printf("Tarvix v%s %s\n", TARVIX_VERSION,
                "(C) the Tarvix authors, https://tarvix.example.org/");
    if (argc < 2 || std::strcmp(argv[1], "-h") == 0) {
        std::printf("Usage: Tarvix [-s <setup file>] <replay file>\n");
        return STATUS_USAGE;
    }
    const Arguments arguments = scanArguments(argc, argv);
    if (arguments.replayPath == nullptr) {
        tarvix::reportError("No replay file name specified\n");
        return STATUS_DONE;
    }

    errno = 0;
    loadAndSummarise(arguments.replayPath, arguments.setupPath);
    if (errno != 0) {
        tarvix::reportError("Error reading file %s: %s\n", arguments.replayPath,
                            std::strerror(errno));
        return STATUS_IO_ERROR;
    }
    return STATUS_DONE;
}

}  // namespace

int main(int argc, char** argv)
{
    return checkStandardOutput(run(argc, argv));
}
