#include "run_tarvix.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "replay_builder.h"

namespace tarvix::testing {

ScratchDir::ScratchDir()
{
    std::string pattern = std::filesystem::temp_directory_path() / "tarvix-test-XXXXXX";
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

RunResult spawnIn(const ScratchDir& dir, std::vector<std::string> argv, std::string outPath)
{
    const bool captureOut = outPath.empty();
    if (captureOut) {
        outPath = dir / ".stdout";
    }
    const std::string errPath = dir / ".stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, (dir / "").c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> args;
    for (std::string& arg : argv) {
        args.push_back(arg.data());
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int wstatus = 0;
    if (failed != 0 || waitpid(pid, &wstatus, 0) != pid) {
        throw std::runtime_error("cannot run " + argv[0]);
    }
    const auto take = [](const std::string& path) {
        const Bytes bytes = readFile(path);
        std::filesystem::remove(path);
        return std::string(bytes.begin(), bytes.end());
    };
    return {captureOut ? take(outPath) : "", take(errPath),
            WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1};
}

}  // namespace

// TARVIX_TEST_WRAPPER, when set, runs the binary under another program, such as valgrind.
std::vector<std::string> tarvixCommand()
{
    std::vector<std::string> argv;
    std::istringstream wrapper(
        std::getenv("TARVIX_TEST_WRAPPER") != nullptr ? std::getenv("TARVIX_TEST_WRAPPER") : "");
    for (std::string word; wrapper >> word;) {
        argv.push_back(word);
    }
    argv.emplace_back(TARVIX_BINARY);
    return argv;
}

RunResult runTarvix(const ScratchDir& dir, const std::vector<std::string>& args,
                    const std::string& stdoutPath)
{
    std::vector<std::string> argv = tarvixCommand();
    argv.insert(argv.end(), args.begin(), args.end());
    return spawnIn(dir, argv, stdoutPath);
}

RunResult runShell(const ScratchDir& dir, const std::string& script)
{
    std::string command;
    for (const std::string& word : tarvixCommand()) {
        command += "'" + word + "' ";
    }
    return spawnIn(dir, {"/bin/sh", "-c", "tarvix() { " + command + "\"$@\"; }; " + script}, "");
}

}  // namespace tarvix::testing
