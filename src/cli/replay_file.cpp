#include "cli/replay_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <new>

#include "replay/replay_layout.h"
#include "replay/replay_summary.h"
#include "cli/setup_target.h"
#include "replay/report.h"

namespace tarvix {
namespace {

// The block starts on a page boundary: the kernel copies a large read into a page-aligned
// destination several times faster than into one a few bytes past the boundary, which is
// where malloc would put it.
constexpr std::align_val_t IMAGE_ALIGNMENT{4096};

struct ImageFree {
    void operator()(std::uint8_t* image) const { ::operator delete(image, IMAGE_ALIGNMENT); }
};
using ImageBlock = std::unique_ptr<std::uint8_t, ImageFree>;

ImageBlock allocateImage(std::size_t size)
{
    return ImageBlock(
        static_cast<std::uint8_t*>(::operator new(size, IMAGE_ALIGNMENT, std::nothrow)));
}

}  // namespace

File openReplay(const char* path)
{
    struct stat info {};
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        errno = EISDIR;
        return nullptr;
    }
    errno = 0;  // what stat met is for the open to say again
    return File(std::fopen(path, "rb"));
}

void loadAndSummarise(File file, const char* replayPath, const char* setupPath)
{
    if (fseeko(file.get(), 0, SEEK_END) != 0) {
        return;
    }
    const off_t size = ftello(file.get());
    if (size < 0) {
        return;
    }
    if (size < static_cast<off_t>(MIN_REPLAY_SIZE) || size > static_cast<off_t>(MAX_REPLAY_SIZE)) {
        reportError("Not a replay file\n");
        errno = 0;
        return;
    }
    if (fseeko(file.get(), 0, SEEK_SET) != 0) {
        return;
    }
    const auto byteCount = static_cast<std::size_t>(size);
    const ImageBlock image = allocateImage(byteCount);
    if (!image) {
        reportError("Error allocating %d bytes of memory\n", static_cast<int>(size));
        errno = 0;  // running out of memory is not a read error
        return;
    }
    errno = 0;  // a short read is an error of the file only if the read says so
    const std::size_t count = std::fread(image.get(), 1, byteCount, file.get());
    if (count != byteCount) {
        reportError("Unexpected number of bytes read: %d (expected: %d)\n", static_cast<int>(count),
                    static_cast<int>(size));
        return;
    }
    file.reset();  // closed before any line of the summary

    if (setupPath != nullptr && !maySetupBeWritten(setupPath, replayPath)) {
        setupPath = nullptr;
    }

    printReplaySummary({image.get(), byteCount}, setupPath);
    errno = 0;  // nothing the summary or the export met is a failure of the run
}

}  // namespace tarvix
