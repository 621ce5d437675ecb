#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>

#include "system.h"

namespace tarvix {
namespace {

OrError<FileInfo> described(int result, const struct stat& info)
{
    if (result != 0) {
        return {.error = errno};
    }
    const mode_t type = info.st_mode & S_IFMT;
    const FileId id{.volume = static_cast<std::uint64_t>(info.st_dev),
                    .index = static_cast<std::uint64_t>(info.st_ino)};
    const FileKind kind = type == S_IFREG   ? FileKind::Regular
                          : type == S_IFDIR ? FileKind::Directory
                          : type == S_IFIFO ? FileKind::Fifo
                          : type == S_IFCHR ? FileKind::CharacterDevice
                          : type == S_IFBLK ? FileKind::BlockDevice
                                            : FileKind::Other;
    return {.value = {.kind = kind, .id = id, .size = static_cast<std::uint64_t>(info.st_size)}};
}

}  // namespace

#ifdef ESTALE
const int FILE_CHANGED = ESTALE;
#else
const int FILE_CHANGED = EBUSY;
#endif

OrError<File> openFile(const char* path, Access access)
{
    constexpr int FLAGS[] = {O_RDONLY | O_NONBLOCK, O_WRONLY, O_WRONLY | O_CREAT | O_EXCL};
    const int flags = FLAGS[static_cast<int>(access)];
    const int fd = open(path, flags | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return {.error = errno};
    }
    File file(fdopen(fd, access == Access::Read ? "rb" : "wb"));
    // Once open, a terminal or FIFO waits as usual: its writes would fail with EAGAIN otherwise.
    if (!file || ((flags & O_NONBLOCK) != 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)) {
        const int error = errno;
        if (!file) {
            close(fd);
        }
        return {.error = error};
    }
    return {.value = std::move(file)};
}

OrError<FileInfo> describe(std::FILE* file)
{
    struct stat info {};
    return described(fstat(fileno(file), &info), info);
}

OrError<FileInfo> describe(const char* path)
{
    struct stat info {};
    return described(stat(path, &info), info);
}

OrError<std::string> nameOf(std::FILE* file)
{
    std::string name(PATH_MAX, '\0');
#if defined(__linux__) || defined(__EMSCRIPTEN__)  // whose /proc/self/fd the page has too
    const std::string link = "/proc/self/fd/" + std::to_string(fileno(file));
    const ssize_t length = readlink(link.c_str(), name.data(), name.size());
    if (length < 0) {
        return {.error = errno};
    }
    if (static_cast<std::size_t>(length) == name.size()) {  // cut short: judge no part of a name
        return {.error = ENAMETOOLONG};
    }
    name.resize(static_cast<std::size_t>(length));
    // Linux adds this to the name of a file whose name was removed after it was opened: the
    // file may live on under another link, and goes by the name it had.
    constexpr std::string_view REMOVED = " (deleted)";
    if (name.ends_with(REMOVED)) {
        name.resize(name.size() - REMOVED.size());
    }
#elif defined(F_GETPATH)
    if (fcntl(fileno(file), F_GETPATH, name.data()) != 0) {
        return {.error = errno};
    }
    name.resize(name.find('\0'));
#else
    return {.error = ENOTSUP};
#endif
    return {.value = name};
}

int emptyFile(std::FILE* file)
{
    return ftruncate(fileno(file), 0) == 0 ? 0 : errno;
}

std::optional<std::array<bool, 3>> holdClosedStandardStreams()
{
    std::array<bool, 3> closed{};
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {  // the open takes the lowest free one
        closed[fd] = fcntl(fd, F_GETFD) == -1 && errno == EBADF;
        if (closed[fd] && open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) != fd) {
            return std::nullopt;
        }
    }
    return closed;
}

}  // namespace tarvix
