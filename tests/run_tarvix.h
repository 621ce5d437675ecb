// Runs the built Tarvix binary in a scratch directory and captures what a user would see.
#pragma once

#include <string>
#include <vector>

#include "replay_builder.h"

namespace tarvix::testing {

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // exit status, or -1 when the process did not exit normally
};

// A fresh directory under the system's temporary directory, removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs Tarvix with `args` from inside `dir`. Standard output goes to `stdoutPath` when given
// (its contents are then not captured).
RunResult runTarvix(const ScratchDir& dir, const std::vector<std::string>& args,
                    const char* stdoutPath = nullptr);

// Runs `/bin/sh -c script` from inside `dir`, with $TARVIX naming the binary.
RunResult runShell(const ScratchDir& dir, const std::string& script);

}  // namespace tarvix::testing
