#include "cli/setup_target.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "cli/replay_file.h"
#include "replay/replay_layout.h"
#include "report.h"

namespace tarvix {
namespace {

// The check reads a file this much at a time, so that its memory stays the same whatever the
// file's size: a replay too large to load in a machine short of memory must still be seen. A
// multiple of 4, so that every piece starts on a word the marker search looks at.
constexpr std::size_t PIECE_SIZE = std::size_t{64} * 1024;

constexpr std::string_view REPLAY_EXTENSION = ".rpl";

// The names are UTF-8 where they are not plain bytes (Windows, through the manifest), and a
// narrow name would be taken in the ANSI code page there.
std::filesystem::path utf8Path(const char* name)
{
    return {std::u8string_view(reinterpret_cast<const char8_t*>(name))};
}

// True when both paths name one existing file, by whatever route (same name, hard or symbolic
// link). False when either does not exist or cannot be examined.
bool isSameFile(const char* first, const char* second)
{
    std::error_code error;
    const bool same = std::filesystem::equivalent(utf8Path(first), utf8Path(second), error);
    return same && !error;
}

bool endsInReplayExtension(std::string_view name)
{
    return name.size() >= REPLAY_EXTENSION.size() &&
           std::equal(REPLAY_EXTENSION.rbegin(), REPLAY_EXTENSION.rend(), name.rbegin(),
                      [](char wanted, char c) {
                          return std::tolower(static_cast<unsigned char>(c)) == wanted;
                      });
}

// Whether an existing file goes by a replay's name: the one given, or that of the file it
// reaches, as a symbolic link reaches its target and, on Windows, a name with trailing dots or
// blanks reaches the file without them.
bool hasReplayName(const char* path)
{
    std::error_code error;
    const std::u8string reached = std::filesystem::canonical(utf8Path(path), error).u8string();
    return endsInReplayExtension(path) ||
           (!error &&
            endsInReplayExtension({reinterpret_cast<const char*>(reached.data()), reached.size()}));
}

struct Scan {
    bool setupBlock = false;  // the summary would find a setup block
    int error = 0;            // the error that kept the file from being read to its end
};

// Reads the file of `size` bytes piece by piece, up to its first aligned marker or its end. The
// marker is judged as the summary judges it in the whole image: the first one counts, with the
// same bounds on the times and the length field.
Scan scanForSetupBlock(const char* path, std::size_t size)
{
    // A failure must refuse the write even where the C library leaves errno at 0.
    const auto failed = [] { return Scan{.error = errno != 0 ? errno : EIO}; };
    const File file(std::fopen(path, "rb"));
    if (!file) {
        return failed();
    }
    // In static storage: no allocation that could fail, and no 64 KiB stack frame, on which
    // MinGW-w64's GCC 12 fails to compile the unwind table.
    static std::array<std::uint8_t, PIECE_SIZE> piece;
    for (std::size_t offset = 0;; offset += PIECE_SIZE) {
        const std::size_t count = std::fread(piece.data(), 1, piece.size(), file.get());
        if (count < piece.size() && std::ferror(file.get()) != 0) {
            return failed();
        }
        if (const auto marker = findSetupMarker({piece.data(), count}, SETUP_MARKER)) {
            return {.setupBlock = setupBlockInside(offset + *marker, size)};
        }
        if (count < piece.size()) {
            return {};
        }
    }
}

}  // namespace

bool maySetupBeWritten(const char* setupPath, const char* replayPath)
{
    if (isSameFile(setupPath, replayPath)) {
        reportError("Setup not written: %s is the replay file\n", setupPath);
        return false;
    }
    struct stat info {};
    if (stat(setupPath, &info) != 0 || !S_ISREG(info.st_mode)) {
        return true;
    }
    const bool replayName = hasReplayName(setupPath);
    // A size the loader refuses is no replay, whatever the file holds, and is not read.
    const bool replaySize = info.st_size >= static_cast<off_t>(MIN_REPLAY_SIZE) &&
                            info.st_size <= static_cast<off_t>(MAX_REPLAY_SIZE);
    const Scan scan = !replayName && replaySize
                          ? scanForSetupBlock(setupPath, static_cast<std::size_t>(info.st_size))
                          : Scan{};
    if (scan.error != 0) {
        reportError("Setup not written: cannot tell whether %s is a replay: %s\n", setupPath,
                    std::strerror(scan.error));
        return false;
    }
    if (replayName || scan.setupBlock) {
        reportError("Setup not written: %s is a replay file\n", setupPath);
        return false;
    }
    return true;
}

}  // namespace tarvix
