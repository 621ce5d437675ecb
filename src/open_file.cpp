#include "open_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tarvix {

File openFile(const char* path, int flags, const char* mode)
{
#ifdef _WIN32
    const int fd = _open(path, flags | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(path, flags | O_NOCTTY | O_CLOEXEC, 0666);
#endif
    if (fd < 0) {
        return nullptr;
    }
    File file(fdopen(fd, mode));
#ifndef _WIN32
    // Once open, a terminal or FIFO waits as usual: its writes would fail with EAGAIN otherwise.
    if (file && (flags & OPEN_AT_ONCE) != 0 && fcntl(fd, F_SETFL, flags & ~OPEN_AT_ONCE) != 0) {
        const int error = errno;
        file.reset();
        errno = error;
        return nullptr;
    }
#endif
    if (!file) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

#ifdef _WIN32

// The Windows calls set no errno; their failures here are rare enough to need no more detail.
std::optional<FileId> fileIdOf(std::FILE* file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))),
                                   &info) == 0) {
        errno = EIO;
        return std::nullopt;
    }
    return FileId{.volume = info.dwVolumeSerialNumber,
                  .index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
}

std::optional<std::string> fileNameOf(std::FILE* file)
{
    constexpr DWORD LONGEST_PATH = 32767;  // in UTF-16 units, with the \\?\ prefix
    std::wstring wide(LONGEST_PATH + 1, L'\0');
    const DWORD length =
        GetFinalPathNameByHandleW(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))),
                                  wide.data(), LONGEST_PATH + 1, FILE_NAME_NORMALIZED);
    // Wine answers ERROR_MORE_DATA for any name past 260 units, however large the buffer.
    if (length == 0 || length > LONGEST_PATH) {
        errno = length != 0 || GetLastError() == ERROR_MORE_DATA ? ENAMETOOLONG : EIO;
        return std::nullopt;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), nullptr,
                                         0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), name.data(), size,
                        nullptr, nullptr);
    return name;
}

#else

// No filesystem's st_dev: the volume that devices are told apart in by their numbers.
constexpr std::uint64_t DEVICE_VOLUME = UINT64_MAX;

FileId fileIdOf(const struct stat& info)
{
    // A device goes by the device itself, which any node made for it opens, not by the node.
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
        return FileId{.volume = DEVICE_VOLUME, .index = static_cast<std::uint64_t>(info.st_rdev)};
    }
    return FileId{.volume = static_cast<std::uint64_t>(info.st_dev),
                  .index = static_cast<std::uint64_t>(info.st_ino)};
}

std::optional<FileId> fileIdOf(std::FILE* file)
{
    struct stat info {};
    if (fstat(fileno(file), &info) != 0) {
        return std::nullopt;
    }
    return fileIdOf(info);
}

std::optional<std::string> fileNameOf(std::FILE* file)
{
    std::string name(PATH_MAX, '\0');
#if defined(__linux__)
    const std::string link = "/proc/self/fd/" + std::to_string(fileno(file));
    const ssize_t length = readlink(link.c_str(), name.data(), name.size());
    if (length < 0) {
        return std::nullopt;
    }
    if (static_cast<std::size_t>(length) == name.size()) {  // cut short: judge no part of a name
        errno = ENAMETOOLONG;
        return std::nullopt;
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
        return std::nullopt;
    }
    name.resize(name.find('\0'));
#else
    errno = ENOTSUP;
    return std::nullopt;
#endif
    return name;
}

#endif

}  // namespace tarvix
