#include "cli/replay_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>
#include <utility>

#include "report.h"

namespace tarvix {

LoadedReplay readReplay(std::FILE* file, std::size_t size)
{
    std::unique_ptr<std::uint8_t[]> bytes(new (std::nothrow) std::uint8_t[size]);
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

LoadedReplay loadReplay(const char* path)
{
    struct stat info {};
    if (stat(path, &info) == 0 && S_ISDIR(info.st_mode)) {
        return {.error = EISDIR};
    }
    const File file(std::fopen(path, "rb"));
    if (!file || fseeko(file.get(), 0, SEEK_END) != 0) {
        return {.error = errno};
    }
    const off_t size = ftello(file.get());
    if (size < 0) {
        return {.error = errno};
    }
    if (size < static_cast<off_t>(MIN_REPLAY_SIZE) || size > static_cast<off_t>(MAX_REPLAY_SIZE)) {
        reportError("Not a replay file\n");
        return {};
    }
    if (fseeko(file.get(), 0, SEEK_SET) != 0) {
        return {.error = errno};
    }
    const std::optional<FileId> id = fileIdOf(file.get());
    if (!id) {
        return {.error = errno};
    }
    LoadedReplay replay = readReplay(file.get(), static_cast<std::size_t>(size));
    replay.id = *id;
    return replay;
}

}  // namespace tarvix
