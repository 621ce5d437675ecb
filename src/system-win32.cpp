#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "system.h"
#include "terminal.h"

namespace tarvix {
namespace {

HANDLE handleOf(std::FILE* file)
{
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C library hands the handle out as an integer
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

FileKind kindOf(unsigned short mode)
{
    switch (mode & _S_IFMT) {
        case _S_IFREG:
            return FileKind::Regular;
        case _S_IFDIR:
            return FileKind::Directory;
        case _S_IFIFO:
            return FileKind::Fifo;
        case _S_IFCHR:
            return FileKind::CharacterDevice;
        default:
            return FileKind::Other;
    }
}

}  // namespace

const int FILE_CHANGED = EBUSY;  // Windows' C library has no ESTALE

OrError<File> openFile(const char* path, Access access)
{
    constexpr int FLAGS[] = {_O_RDONLY, _O_WRONLY, _O_WRONLY | _O_CREAT | _O_EXCL};
    const int fd = _open(path, FLAGS[static_cast<int>(access)] | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        const int error = errno;
        struct _stat64 info {};  // Windows opens no directory, and says so as for any refusal
        return {.error =
                    error == EACCES && _stat64(path, &info) == 0 && (info.st_mode & _S_IFDIR) != 0
                        ? EISDIR
                        : error};
    }
    File file(_fdopen(fd, access == Access::Read ? "rb" : "wb"));
    if (!file) {
        const int error = errno;
        _close(fd);
        return {.error = error};
    }
    return {.value = std::move(file)};
}

// The Windows calls set no errno; their failures here are rare enough to need no more detail.
OrError<FileInfo> describe(std::FILE* file)
{
    struct _stat64 status {};
    if (_fstat64(_fileno(file), &status) != 0) {
        return {.error = errno};
    }
    FileInfo info{.kind = kindOf(status.st_mode),
                  .id = {},
                  .size = static_cast<std::uint64_t>(status.st_size)};
    // FileIdInfo, not GetFileInformationByHandle, which Wine refuses for the handles it makes
    // of the streams a Unix shell redirected.
    FILE_ID_INFO handle{};
    if (GetFileInformationByHandleEx(handleOf(file), FileIdInfo, &handle, sizeof handle) != 0) {
        FileId id{.volume = handle.VolumeSerialNumber};
        std::memcpy(&id.index, handle.FileId.Identifier, sizeof id.index);
        std::memcpy(&id.indexHigh, handle.FileId.Identifier + sizeof id.index, sizeof id.indexHigh);
        info.id = id;
    } else if (info.kind == FileKind::Regular) {  // a console or device may have none to tell
        return {.error = EIO};
    }
    return {.value = info};
}

OrError<FileInfo> describe(const char* path)
{
    struct _stat64 status {};
    if (_stat64(path, &status) != 0) {
        return {.error = errno};
    }
    return {.value = {.kind = kindOf(status.st_mode),
                      .id = {},
                      .size = static_cast<std::uint64_t>(status.st_size)}};
}

OrError<std::string> nameOf(std::FILE* file)
{
    constexpr DWORD LONGEST_PATH = 32767;  // in UTF-16 units, with the \\?\ prefix
    std::wstring wide(LONGEST_PATH + 1, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handleOf(file), wide.data(), LONGEST_PATH + 1,
                                                   FILE_NAME_NORMALIZED);
    // Wine answers ERROR_MORE_DATA for any name past 260 units, however large the buffer.
    if (length == 0 || length > LONGEST_PATH) {
        return {.error = length != 0 || GetLastError() == ERROR_MORE_DATA ? ENAMETOOLONG : EIO};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), nullptr,
                                         0, nullptr, nullptr);
    std::string name(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(length), name.data(), size,
                        nullptr, nullptr);
    return {.value = name};
}

int emptyFile(std::FILE* file)
{
    return _chsize_s(_fileno(file), 0);
}

// The Windows C library keeps descriptors 0 to 2 for the standard streams even where the
// caller gave none, so that no file opened takes their place.
std::optional<std::array<bool, 3>> holdClosedStandardStreams()
{
    return std::array<bool, 3>{};
}

namespace {

// The text of bytes stored in the system's ANSI code page: the one the game ran under, which the
// manifest that makes UTF-8 the process's own hides from GetACP, and the system's locale tells.
std::u16string fromAnsiCodePage(std::string_view bytes)
{
    constexpr UINT WESTERN = 1252;  // for a locale that has no ANSI code page
    UINT codePage = 0;
    if (GetLocaleInfoEx(
            LOCALE_NAME_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
            reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)) == 0 ||
        codePage == CP_ACP) {
        codePage = WESTERN;
    }
    const int size = static_cast<int>(bytes.size());
    std::wstring wide(bytes.size(), L'\0');  // no code page makes more characters than bytes
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(codePage, 0, bytes.data(), size, wide.data(), size)));
    return {wide.begin(), wide.end()};
}

}  // namespace

// A console takes characters: its own code page would show UTF-8 byte by byte, some of them as
// C1 controls. A console is what takes an empty write of characters: GetConsoleMode needs read
// access, which CON opened for writing lacks, and NUL, which the C library counts as a
// terminal, is none.
std::size_t writeShown(std::FILE* stream, std::string_view text, bool line)
{
    const HANDLE handle = handleOf(stream);
    DWORD written = 0;
    if (WriteConsoleW(handle, L"", 0, &written, nullptr) == 0) {
        return std::fwrite(text.data(), 1, text.size(), stream);
    }
    const std::u16string shown = consoleText(text, line, fromAnsiCodePage);
    std::fflush(stream);
    const bool whole = WriteConsoleW(handle, shown.data(), static_cast<DWORD>(shown.size()),
                                     &written, nullptr) != 0 &&
                       written == static_cast<DWORD>(shown.size());
    return whole ? text.size() : 0;
}

}  // namespace tarvix
