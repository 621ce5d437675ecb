// Each row in a folder of its own, run by row.sh in a process group bounded in time, and judged.
#include "suite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tarvix::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Long enough for a row under valgrind or qemu, short enough that a row that hangs ends.
constexpr auto ROW_TIME = std::chrono::seconds(120);
constexpr int SKIPPED = 77, UNPREPARED = 90;

// Waits for `shell` and every process of its group, adopted here; past `deadline` kills them all.
bool awaitRow(pid_t shell, int& status, Clock::time_point deadline)
{
    bool killed = false;
    for (int ended = 0;;) {
        const pid_t got = waitpid(-shell, &ended, WNOHANG);
        if (got < 0) {
            return !killed;
        }
        status = got == shell ? ended : status;
        if (got == 0 && Clock::now() > deadline && !killed) {
            killed = kill(-shell, SIGKILL) == 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(got == 0 ? 2 : 0));
    }
}

Bytes contents(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return in ? Bytes(std::istreambuf_iterator<char>(in), {}) : "(no file)";
}

[[noreturn]] void runShell(const Row& row, const fs::path& folder)
{
    setpgid(0, 0);
    const int input = open("/dev/null", O_RDONLY);
    if (chdir(folder.c_str()) != 0 || input < 0 || dup2(input, STDIN_FILENO) < 0) {
        _exit(126);
    }
    std::string changes;
    for (const auto& [file, bytes] : row.changes) {
        changes += file + "\n";
    }
    setenv("TARVIX_TEST_BINARY", TARVIX_BINARY, 0);  // unless the run names one, as Tarvix.exe
    setenv("TARVIX_TEST_SANITIZED", TARVIX_SANITIZED ? "1" : "", 1);
    execl("/bin/bash", "bash", TARVIX_ROW_SCRIPT, row.needs, row.given, row.run, changes.c_str(),
          nullptr);
    _exit(127);
}

void runRow(const Row& row)
{
    const ::testing::ScopedTrace trace(__FILE__, row.line, row.name);  // a failure names the row
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // so that the row's orphans are waited for here
    std::string name = (fs::temp_directory_path() / "tarvix-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    const fs::path folder = fs::canonical(name);  // as the system names the files in it
    std::ofstream(folder / "r.rpl", std::ios::binary) << row.replay;
    for (const auto& [file, bytes] : row.files) {
        std::ofstream(folder / file, std::ios::binary) << bytes;
    }
    const pid_t shell = fork();
    if (shell == 0) {
        runShell(row, folder);
    }
    setpgid(shell, shell);
    int status = -1;
    const bool ended = awaitRow(shell, status, Clock::now() + ROW_TIME);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == SKIPPED) {
        const Bytes why = contents(folder / ".given");
        fs::remove_all(folder);
        GTEST_SKIP() << why;
    }
    const ::testing::ScopedTrace kept(__FILE__, row.line, "kept, as the row failed: " + name);
    ASSERT_TRUE(ended) << "the row did not end, or left processes running, within "
                       << ROW_TIME.count() << " s: killed";
    ASSERT_NE(code, UNPREPARED) << "what is there before could not be made:\n"
                                << contents(folder / ".given");
    EXPECT_EQ(contents(folder / ".out"), row.out) << "standard output";
    EXPECT_EQ(contents(folder / ".err"), row.err) << "standard error";
    EXPECT_EQ(code, row.status) << "exit status";
    for (const auto& [file, bytes] : row.changes) {
        EXPECT_TRUE(!bytes || contents(folder / file) == *bytes)
            << file << " holds " << ::testing::PrintToString(contents(folder / file));
    }
    EXPECT_EQ(contents(folder / ".after"), contents(folder / ".before"))
        << "what is on disk, but for the files the row changes";
    if (!::testing::Test::HasFailure()) {
        fs::remove_all(folder);
    }
}

}  // namespace

TEST_P(Cli, Runs)
{
    runRow(GetParam());
}

}  // namespace tarvix::testing
