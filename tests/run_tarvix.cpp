#include "run_tarvix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace tarvix::testing {

ScratchDir::ScratchDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvix-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

RunResult spawnIn(const ScratchDir& dir, const std::vector<std::string>& argv,
                  const char* stdoutPath)
{
    const std::string outPath = dir / ".stdout";
    const std::string errPath = dir / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, dir.path().c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1,
                                     stdoutPath != nullptr ? stdoutPath : outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);

    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + argv[0]);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);

    RunResult result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    const auto text = [](const std::string& path) {
        const Bytes bytes = std::filesystem::exists(path) ? readFile(path) : Bytes();
        std::filesystem::remove(path);
        return std::string(bytes.begin(), bytes.end());
    };
    result.out = stdoutPath != nullptr ? "" : text(outPath);
    result.err = text(errPath);
    return result;
}

}  // namespace

RunResult runTarvix(const ScratchDir& dir, const std::vector<std::string>& args,
                    const char* stdoutPath)
{
    std::vector<std::string> argv = {TARVIX_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return spawnIn(dir, argv, stdoutPath);
}

RunResult runShell(const ScratchDir& dir, const std::string& script)
{
    return spawnIn(dir, {"/bin/sh", "-c", "TARVIX='" TARVIX_BINARY "'; " + script}, nullptr);
}

}  // namespace tarvix::testing
