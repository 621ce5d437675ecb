// Open files as Tarvix handles them: closed when their owner lets go, and known by what the
// system tells of the open file rather than by a path looked up once more, which another
// process may have pointed elsewhere meanwhile.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace tarvix {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// An open(2) flag: the open itself does not wait, as it would for the other end of a FIFO.
// Windows has no such wait.
#ifdef O_NONBLOCK
inline constexpr int OPEN_AT_ONCE = O_NONBLOCK;
#else
inline constexpr int OPEN_AT_ONCE = 0;
#endif

// Opens `path` as open(2) does with `flags` (creating a file with mode 0666 less the umask), as
// a stream of fopen's `mode`: in binary, never as the controlling terminal, and, after an open
// with OPEN_AT_ONCE, with reads and writes that wait as usual. Null, with errno set, on failure.
File openFile(const char* path, int flags, const char* mode);

// Which file is open, whatever name led to it: the same for every open of one file, and of one
// device through any node made for it.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

// None, with errno set, where the system cannot tell.
std::optional<FileId> fileIdOf(std::FILE* file);

#ifndef _WIN32
// The file that stat(2) or fstat(2) told of.
FileId fileIdOf(const struct stat& info);
#endif

// The name the open file goes by, as the system tells it (the descriptor's path on Linux,
// F_GETPATH on macOS, the final path of the handle on Windows), or went by last where that name
// was removed since. None, with errno set, where it cannot tell, and on systems that tell no
// name.
std::optional<std::string> fileNameOf(std::FILE* file);

}  // namespace tarvix
