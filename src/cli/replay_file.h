// Loading a replay file whole into memory, and the summary of what was loaded.
#pragma once

#include <cstdio>
#include <memory>

namespace tarvix {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a replay for binary reading. A directory fails with EISDIR on every system (some open
// a directory for reading, others refuse it with EACCES).
File openReplay(const char* path);

// Reads `file` whole into one block of exactly its size, closes it, and prints the summary,
// exporting the setup to `setupPath` when that is not null. A setup path that names the replay,
// or an existing file that is itself a replay with a setup block, is refused before the summary. A
// failed file operation returns with errno set, for the caller to report with `replayPath`; every
// other failure is reported here and returns with errno at 0.
void loadAndSummarise(File file, const char* replayPath, const char* setupPath);

}  // namespace tarvix
