// Writing the car setup stored in a replay to a file of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "open_file.h"

namespace tarvix {

// Setups of this many bytes or more are refused.
inline constexpr std::uint32_t SETUP_SIZE_LIMIT = 50000;

// Where the setup goes, settled before the summary by a check of the file itself
// (cli/setup_target.h), so that the file written is the file judged, whatever becomes of its
// name meanwhile. Left alone until the setup is ready: nothing is created or emptied before.
struct SetupTarget {
    const char* path = nullptr;  // as given, for the messages
    File file;                   // the file judged, a regular file or a device: written in place
    // Without a file: S_IFIFO or S_IFCHR, a FIFO or a character device, that the export opens
    // (a FIFO waiting for its reader) and writes only while the path leads to the file judged,
    // `judged`, which holds no replay.
    unsigned reopenAs = 0;
    std::optional<FileId> judged{};
    // Without a file either: ENOENT, a missing file that the export creates, never over one that
    // has appeared meanwhile; any other error, the export's own failed open.
    int openError = 0;
};

// The refusal of a target that cannot be judged, with the reason `error`, on standard error.
void reportCannotTell(const char* path, int error);

// Writes the first `length` bytes of `available`, less trailing zero bytes, to `target` (an
// existing file is emptied first), and reports the outcome on standard output or standard
// error. A length of SETUP_SIZE_LIMIT or more, or one that runs past `available`, touches no
// file. "Setup written" is printed only once the file was closed without error.
void exportSetup(std::span<const std::uint8_t> available, std::uint32_t length,
                 SetupTarget& target);

}  // namespace tarvix
