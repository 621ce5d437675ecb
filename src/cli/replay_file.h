// Loading a replay file whole into memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "replay/replay_layout.h"
#include "system.h"

namespace tarvix {

// The replay open for reading, and what the system tells of it: the file that no output may
// write.
struct OpenedReplay {
    File file{};
    FileInfo info{};
};

// Opens the replay at `path`; a directory is refused with EISDIR, told by the file opened. Where
// it cannot be opened, the error and what the system tells of the file by its name.
OrError<OpenedReplay> openReplay(const char* path);

// The block a replay is read into, released with the alignment it was allocated with.
struct ReplayBlockDelete {
    std::align_val_t alignment;
    void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, alignment); }
};
using ReplayBlock = std::unique_ptr<std::uint8_t[], ReplayBlockDelete>;

// What loading came to: the whole file in one block, or no block and the error number of the
// seek or read that failed. No block and no error: the failure was no error of the file (no
// replay, no memory, a read that came up short without one) and was reported already.
struct LoadedReplay {
    ReplayBlock bytes{};
    std::size_t size = 0;
    int error = 0;

    [[nodiscard]] ReplayImage image() const { return {bytes.get(), size}; }
};

// Measures the open replay by seeking and reads it into memory. Files of fewer than
// MIN_REPLAY_SIZE or more than MAX_REPLAY_SIZE bytes are no replay.
LoadedReplay loadReplay(std::FILE* file);

}  // namespace tarvix
