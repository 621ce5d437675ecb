// Runs the built Tarvix binary in a scratch directory and captures what a user would see.
#pragma once

#include <string>
#include <vector>

namespace tarvix::testing {

// A fresh directory under the system's temporary directory, removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct RunResult {
    std::string out;
    std::string err;
    int status = -1;  // -1 when the process did not exit normally
};

// Runs Tarvix with `args` inside `dir`; standard output goes to `stdoutPath` when given.
RunResult runTarvix(const ScratchDir& dir, const std::vector<std::string>& args,
                    const std::string& stdoutPath = "");
// Runs `/bin/sh -c script` inside `dir`, where the shell function `tarvix` runs the binary.
RunResult runShell(const ScratchDir& dir, const std::string& script);

}  // namespace tarvix::testing
