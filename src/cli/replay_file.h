// Loading a replay file whole into memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

#include "open_file.h"
#include "replay/replay_layout.h"

namespace tarvix {

// The block a replay is read into, released with the alignment it was allocated with.
struct ReplayBlockDelete {
    std::align_val_t alignment;
    void operator()(std::uint8_t* bytes) const { ::operator delete[](bytes, alignment); }
};
using ReplayBlock = std::unique_ptr<std::uint8_t[], ReplayBlockDelete>;

// What loading came to: the whole file in one block, or no block and the error number of the
// open, seek or read that failed. No block and no error: the failure was no error of the file
// (no replay, no memory, a read that came up short without one) and was reported already.
struct LoadedReplay {
    ReplayBlock bytes{};
    std::size_t size = 0;
    int error = 0;
    FileId id{};  // the file read, which -s must not write

    [[nodiscard]] ReplayImage image() const { return {bytes.get(), size}; }
};

// Reads the replay at `path` into memory and closes it. Files of fewer than MIN_REPLAY_SIZE or
// more than MAX_REPLAY_SIZE bytes are no replay; a directory fails with EISDIR on every system
// (some open a directory for reading, others refuse it with EACCES).
LoadedReplay loadReplay(const char* path);

// Reads `size` bytes from `file` into one block of exactly that size, reporting a failed
// allocation and a short read: the last step of loadReplay.
LoadedReplay readReplay(std::FILE* file, std::size_t size);

}  // namespace tarvix
