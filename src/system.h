// What Tarvix asks of the operating system: files opened and what the system tells of them, the
// standard streams and terminals. system-posix.cpp and system-win32.cpp answer it; where
// Windows answers otherwise, the call says so.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvix {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A value, or the error number of the call that could not give it.
template <typename T>
struct OrError {
    T value{};
    int error = 0;
};

enum class FileKind { Regular, Directory, Fifo, CharacterDevice, BlockDevice, Other };

// Which file is open, whatever name led to it: the same for every open of one file. A volume of
// 0 is one the system did not tell, as Wine does for the streams a Unix shell opened, and
// matches any.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t indexHigh = 0;  // the upper half of a 128-bit Windows file ID
    bool operator==(const FileId& other) const
    {
        return index == other.index && indexHigh == other.indexHigh &&
               (volume == other.volume || volume == 0 || other.volume == 0);
    }
};

struct FileInfo {
    FileKind kind = FileKind::Other;
    std::optional<FileId> id;  // none where the system tells none, as for a Windows console
    std::uint64_t size = 0;
};

enum class Access {
    Read,    // the open itself does not wait for the other end of a FIFO; reads then do
    Write,   // waits, as a FIFO does for its reader
    Create,  // a new file, never over one that is there
};

// `path` opened as a binary stream, closed on exec. A directory fails with EISDIR everywhere.
OrError<File> openFile(const char* path, Access access);

// The open file, or the file that `path` leads to, links followed. On Windows `path` gives no
// identity, and an open console or device may have none to tell either.
OrError<FileInfo> describe(std::FILE* file);
OrError<FileInfo> describe(const char* path);

// The name the open file goes by, as the system tells it (the descriptor's path on Linux,
// F_GETPATH on macOS, the final path of the handle on Windows), or went by last where that name
// was removed since. An error where it cannot tell, and on systems that tell no name; Wine
// tells none for the streams a Unix shell opened.
OrError<std::string> nameOf(std::FILE* file);

// Empties the open regular file; the error number, or 0.
int emptyFile(std::FILE* file);

// Which of the standard streams (input, output, error) its caller closed. Such a stream leaves
// its descriptor free for the next file opened, and what is printed to the stream would go into
// that file: each is held by the null device, opened the wrong way round so that the stream
// fails as a closed one does. None where that cannot be done. Windows' C library keeps the
// three descriptors whatever the caller gave, and holds none.
std::optional<std::array<bool, 3>> holdClosedStandardStreams();

// Writes `text` to `stream`: as it is, or where the stream is a terminal as terminal.h shows it,
// a closing newline kept where `line`. The count of the bytes of `text` written. Whether a
// stream is a terminal is asked here alone.
std::size_t writeShown(std::FILE* stream, std::string_view text, bool line);

// The error that says a file judged is no longer what a name leads to.
extern const int FILE_CHANGED;

}  // namespace tarvix
