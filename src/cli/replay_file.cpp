#include "cli/replay_file.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>  // madvise, where the system has it
#endif

#include <cerrno>
#include <new>
#include <utility>

#include "report.h"

namespace tarvix {

namespace {

constexpr std::size_t SMALL_PAGE_SIZE = 4096;  // not PAGE_SIZE, a macro of musl's <limits.h>
constexpr std::size_t HUGE_PAGE_SIZE = std::size_t{2} << 20;

// A block of `size` bytes for the read. The read costs less in faults, one per page the kernel
// copies into, than in copying, and the first pass over the block costs one more per page in
// a virtual machine: a replay of 2 MiB or more goes into huge pages where the system has them.
// Otherwise, and where the address space has no room for a block aligned to a huge page, the
// block is aligned to a page, as a large block from malloc starts 16 bytes past one and the
// kernel copies whole pages faster on some processors.
ReplayBlock allocateBlock(std::size_t size)
{
    const auto allocate = [size](std::size_t alignment) {
        const std::align_val_t aligned{alignment};
        return ReplayBlock(
            static_cast<std::uint8_t*>(::operator new[](size, aligned, std::nothrow)), {aligned});
    };
#ifdef MADV_HUGEPAGE
    if (size >= HUGE_PAGE_SIZE) {
        if (ReplayBlock block = allocate(HUGE_PAGE_SIZE)) {
            madvise(block.get(), size, MADV_HUGEPAGE);  // a wish: refused, the pages stay small
            return block;
        }
    }
#endif
    return allocate(SMALL_PAGE_SIZE);
}

// Reads `size` bytes from `file` into one block of exactly that size, reporting a failed
// allocation and a short read.
LoadedReplay readReplay(std::FILE* file, std::size_t size)
{
    ReplayBlock bytes = allocateBlock(size);
    if (!bytes) {
        reportError("Error allocating %d bytes of memory\n", static_cast<int>(size));
        return {};
    }
    const std::size_t count = std::fread(bytes.get(), 1, size, file);
    if (count != size) {
        const int error = std::ferror(file) != 0 ? errno : 0;
        reportError("Unexpected number of bytes read: %d (expected: %d)\n", static_cast<int>(count),
                    static_cast<int>(size));
        return {.error = error};
    }
    return {.bytes = std::move(bytes), .size = size};
}

}  // namespace

OrError<OpenedReplay> openReplay(const char* path)
{
    OrError<File> opened = openFile(path, Access::Read);
    if (opened.error != 0) {
        return {.value = {.info = describe(path).value}, .error = opened.error};
    }
    const OrError<FileInfo> info = describe(opened.value.get());
    if (info.error != 0 || info.value.kind == FileKind::Directory) {
        return {.error = info.error != 0 ? info.error : EISDIR};
    }
    return {.value = {.file = std::move(opened.value), .info = info.value}};
}

LoadedReplay loadReplay(std::FILE* file)
{
    // Unbuffered, so that measuring reads nothing and the whole file comes in one read call.
    if (std::setvbuf(file, nullptr, _IONBF, 0) != 0 || fseeko(file, 0, SEEK_END) != 0) {
        return {.error = errno};
    }
    const off_t size = ftello(file);
    if (size < 0) {
        return {.error = errno};
    }
    if (size < static_cast<off_t>(MIN_REPLAY_SIZE) || size > static_cast<off_t>(MAX_REPLAY_SIZE)) {
        reportError("Not a replay file\n");
        return {};
    }
    if (fseeko(file, 0, SEEK_SET) != 0) {
        return {.error = errno};
    }
    return readReplay(file, static_cast<std::size_t>(size));
}

}  // namespace tarvix
