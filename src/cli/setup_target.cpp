#include "cli/setup_target.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "replay/replay_layout.h"
#include "report.h"

namespace tarvix {
namespace {

// The check reads a file this much at a time, so that its memory stays the same whatever the
// file's size: a replay too large to load in a machine short of memory must still be seen. A
// multiple of 4, so that every piece starts on a word the marker search looks at.
constexpr std::size_t PIECE_SIZE = std::size_t{64} * 1024;

constexpr std::string_view REPLAY_EXTENSION = ".rpl";

bool endsInReplayExtension(std::string_view name)
{
    return name.size() >= REPLAY_EXTENSION.size() &&
           std::equal(REPLAY_EXTENSION.rbegin(), REPLAY_EXTENSION.rend(), name.rbegin(),
                      [](char wanted, char c) {
                          return std::tolower(static_cast<unsigned char>(c)) == wanted;
                      });
}

struct Scan {
    bool setupBlock = false;  // an aligned marker starts a setup block
    int error = 0;            // the error that kept the file from being read to its end
};

// Reads the open file of `size` bytes from its start, piece by piece, up to the first aligned
// marker that starts a setup block (its times and length field inside the file) or its end.
// The summary counts the first marker alone, but a replay whose profile name holds "PTSC" is a
// replay all the same, and must not be written over.
Scan scanForSetupBlock(std::FILE* file, std::size_t size)
{
    // In static storage: no allocation that could fail, and no 64 KiB stack frame, on which
    // MinGW-w64's GCC 12 fails to compile the unwind table.
    static std::array<std::uint8_t, PIECE_SIZE> piece;
    for (std::size_t offset = 0;; offset += PIECE_SIZE) {
        errno = 0;
        const std::size_t count = std::fread(piece.data(), 1, piece.size(), file);
        if (count < piece.size() && std::ferror(file) != 0) {
            return {.error = errno != 0 ? errno : EIO};
        }
        const ReplayImage read(piece.data(), count);
        for (std::size_t at = 0; at < count; at += sizeof SETUP_MARKER) {
            const auto marker = findSetupMarker(read.subspan(at), SETUP_MARKER);
            if (!marker) {
                break;
            }
            at += *marker;
            if (setupBlockInside(offset + at, size)) {
                return {.setupBlock = true};
            }
        }
        if (count < piece.size()) {
            return {};
        }
    }
}

bool isTheReplay(const char* path, const std::optional<FileId>& id, FileId replay)
{
    if (id == replay) {
        reportError("Setup not written: %s is the replay file\n", path);
        return true;
    }
    return false;
}

// Whether the open file, of which fstat told `info`, may receive the setup, reporting why not.
bool mayBeWritten(const char* path, std::FILE* file, const struct stat& info, FileId replay)
{
    const bool regular = S_ISREG(info.st_mode);
    const std::optional<FileId> id = fileIdOf(file);
    if (!id && regular) {  // a device may have no identity to tell, but is no replay either
        reportCannotTell(path, errno);
        return false;
    }
    if (isTheReplay(path, id, replay)) {
        return false;
    }
    // A block device may hold a replay, or show part of one in a file behind it (a loop
    // device), which what it holds cannot tell: it is never written.
    if (S_ISBLK(info.st_mode)) {
        reportCannotTell(path, ENOTSUP);
        return false;
    }
    if (!regular) {
        return true;
    }
    bool replayName = endsInReplayExtension(path);
    if (!replayName) {
        const std::optional<std::string> name = fileNameOf(file);
        if (!name) {
            reportCannotTell(path, errno);
            return false;
        }
        replayName = endsInReplayExtension(*name);
    }
    const off_t size = info.st_size;
    // A size the loader refuses is no replay, whatever the file holds, and is not read.
    const bool replaySize =
        size >= static_cast<off_t>(MIN_REPLAY_SIZE) && size <= static_cast<off_t>(MAX_REPLAY_SIZE);
    const Scan scan = !replayName && replaySize
                          ? scanForSetupBlock(file, static_cast<std::size_t>(size))
                          : Scan{};
    if (scan.error != 0) {
        reportCannotTell(path, scan.error);
        return false;
    }
    if (replayName || scan.setupBlock) {
        reportError("Setup not written: %s is a replay file\n", path);
        return false;
    }
    return true;
}

bool isDirectory(const char* path)
{
    struct stat info {};
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<SetupTarget> openSetupTarget(const char* setupPath, FileId replay)
{
    SetupTarget target{.path = setupPath, .file = nullptr};
#ifndef _WIN32
    // A FIFO or a character device is opened only when the setup is ready (the export checks
    // that the path still leads to the one judged), as neither holds a replay: an open for writing
    // now would release a reader that waits on a FIFO, to find its end at once when this open was
    // closed, and may act on a device (a tape rewinds when closed) where no setup is written.
    struct stat named {};
    if (stat(setupPath, &named) == 0 && (S_ISFIFO(named.st_mode) || S_ISCHR(named.st_mode))) {
        target.reopenAs = named.st_mode & S_IFMT;
        target.judged = fileIdOf(named);
        if (isTheReplay(setupPath, target.judged, replay)) {  // a device may be read as one
            return std::nullopt;
        }
        return target;
    }
#endif
    File file = openFile(setupPath, O_RDWR | OPEN_AT_ONCE, "r+b");
    if (!file) {
        target.openError = errno;
        if (target.openError == ENOENT) {
            return target;
        }
        // Not to be written, but judged all the same where it can be read: the export reports
        // its open error only for what is no replay. Windows opens no directory to tell.
        file = openFile(setupPath, O_RDONLY | OPEN_AT_ONCE, "rb");
        if (!file) {
            const int error = errno;
            if (isDirectory(setupPath)) {
                return target;
            }
            reportCannotTell(setupPath, error);
            return std::nullopt;
        }
    }
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0) {
        reportCannotTell(setupPath, errno);
        return std::nullopt;
    }
    if (!mayBeWritten(setupPath, file.get(), info, replay)) {
        return std::nullopt;
    }
#ifndef _WIN32
    if (S_ISFIFO(info.st_mode)) {  // a FIFO after all: let go, so that the export's open waits
        target.reopenAs = S_IFIFO;
        target.judged = fileIdOf(file.get());
        return target;
    }
#endif
    if (target.openError == 0) {
        target.file = std::move(file);
    } else if (S_ISCHR(info.st_mode)) {  // a device that opens for writing alone, as CON does
        target.reopenAs = S_IFCHR;
        target.judged = fileIdOf(file.get());
        target.openError = 0;
    }
    return target;
}

}  // namespace tarvix
