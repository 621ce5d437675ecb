#include "cli_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#if __has_include(<sys/prctl.h>)
#include <sys/prctl.h>
#endif

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

// What rows may call, then the row. The shell stops itself once `given` is done, so that the
// runner can see the disk before the run, and waits for what the row started in the background.
constexpr const char* SCRIPT = R"sh(
skip() { echo "$*" >&2; exit 77; }
need() { for x; do [ -e "$x" ] || command -v "$x" >/dev/null || skip "needs $x"; done; }
unwrapped() { [ -z "$TARVIX_TEST_WRAPPER$TARVIX_TEST_SANITIZED" ] || skip "$@"; }
not_under() { case $TARVIX_TEST_WRAPPER in *$1*) shift; skip "$@" ;; esac; }
only_under() { case $TARVIX_TEST_WRAPPER in *$1*) ;; *) shift; skip "$@" ;; esac; }
tarvix() { $TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" "$@"; }
export -f tarvix
set -o pipefail
on_a_terminal() {  # its transcript is the output; Wine's console shows and hides its cursor
  LC_ALL=C.UTF-8 SHELL=/bin/bash script -qec "$1" /dev/null |
    case $TARVIX_TEST_WRAPPER in *wine*) sed 's/\x1b\[?25[hl]//g' ;; *) cat ;; esac
}
as_user() {  # nobody, where the rows run as root and `unprivileged` prepared the folder
  [ "$(id -u)" != 0 ] && { "$@"; return; }
  setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups bash -c '"$@"' - "$@"
}
unprivileged() {
  [ "$(id -u)" != 0 ] || { need setpriv && chmod o+rx . && chmod o+r r.rpl; } || return
  [[ $(as_user tarvix -h 2>/dev/null) == *"Usage: Tarvix"* ]] ||
    skip "nobody cannot start the binary (a folder on its path is closed to nobody)"
}
eval "$TARVIX_ROW_GIVEN" >.given 2>&1 || exit 90
kill -STOP $$
eval "$TARVIX_ROW_RUN" >.out 2>.err
status=$?
wait
exit $status
)sh";

// Waits up to `deadline` for the shell `pid` to stop or end or, for -pid, for every process the
// row started in its group, which this process adopts as their parents end. (Daemons that leave
// the group, as Wine's services do, are not the row's.)
bool await(pid_t pid, int& status, Clock::time_point deadline)
{
    for (pid_t got = 0; (got = waitpid(pid, &status, WNOHANG | WUNTRACED)) >= 0;) {
        if (got == pid || (got == 0 && Clock::now() > deadline)) {
            return got == pid;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(got == 0 ? 2 : 0));
    }
    return pid < 0;  // none left
}

// What is on disk, a line for each entry but the runner's files and those `skipped`: its kind
// and a regular file's size, time of change and a digest of what it holds.
std::string listing(const fs::path& folder,
                    const std::map<std::string, std::optional<Bytes>>& skipped)
{
    std::map<std::string, std::string> lines;
    std::error_code error;
    const auto options = fs::directory_options::skip_permission_denied;
    for (fs::recursive_directory_iterator it(folder, options, error), end; it != end;
         it.increment(error)) {
        const std::string name = it->path().lexically_relative(folder).string();
        struct stat info {};
        if (name.starts_with(".") || skipped.contains(name) ||
            lstat(it->path().c_str(), &info) != 0) {
            continue;
        }
        const bool read = S_ISREG(info.st_mode) && info.st_size < (1 << 20);
        lines[name] =
            S_ISREG(info.st_mode)
                ? std::to_string(info.st_size) + " bytes, digest " +
                      std::to_string(std::hash<Bytes>{}(read ? readFile(it->path()) : "")) +
                      ", changed at " + std::to_string(info.st_mtim.tv_sec) + "." +
                      std::to_string(info.st_mtim.tv_nsec)
            : S_ISLNK(info.st_mode) ? "-> " + fs::read_symlink(it->path(), error).string()
                                    : std::to_string(info.st_mode & S_IFMT);
    }
    std::string text;
    for (const auto& [name, line] : lines) {
        text += name + ": " + line + "\n";
    }
    return text;
}

void expectSame(const Row& row, const std::string& what, const Bytes& actual, const Bytes& wanted)
{
    if (actual != wanted) {
        ADD_FAILURE_AT(row.file, row.line)
            << what << "\n"
            << ::testing::internal::EqFailure("what came out", "what the row expects",
                                              ::testing::PrintToString(actual),
                                              ::testing::PrintToString(wanted), false)
                   .message();
    }
}

// A file's bytes; with `lines`, with the line ends of Windows and terminals as \n.
Bytes contents(const fs::path& file, bool lines = false)
{
    Bytes text = fs::is_regular_file(file) ? readFile(file) : "(no file)";
    for (std::size_t at = 0; lines && (at = text.find("\r\n")) != Bytes::npos;) {
        text.erase(at, 1);  // and a terminal's CR before Wine's CR LF
    }
    return text;
}

// Removes the folder whatever modes the row left in it.
void removeAll(const fs::path& folder)
{
    std::error_code error;
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add, error);
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            removeAll(entry.path());
        }
    }
    fs::remove_all(folder, error);
}

}  // namespace

void runRow(const Row& row)
{
#ifdef PR_SET_CHILD_SUBREAPER
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // so that the row's orphans are waited for here
#endif
    std::string name = (fs::temp_directory_path() / "tarvix-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    const fs::path folder = name;
    std::ofstream(folder / "r.rpl", std::ios::binary) << row.replay;
    for (const auto& [file, bytes] : row.files) {
        std::ofstream(folder / file, std::ios::binary) << bytes;
    }
    const Clock::time_point deadline = Clock::now() + ROW_TIME;
    const pid_t shell = fork();
    if (shell == 0) {
        setpgid(0, 0);
        const int input = open("/dev/null", O_RDONLY);
        if (chdir(folder.c_str()) != 0 || input < 0 || dup2(input, STDIN_FILENO) < 0) {
            _exit(126);
        }
        setenv("TARVIX_ROW_GIVEN", row.given, 1);
        setenv("TARVIX_ROW_RUN", row.run, 1);
        setenv("TARVIX_TEST_BINARY", TARVIX_BINARY, 0);  // unless the run names one, as Tarvix.exe
        setenv("TARVIX_TEST_SANITIZED", TARVIX_SANITIZED ? "1" : "", 1);
        execl("/bin/bash", "bash", "-c", SCRIPT, nullptr);
        _exit(127);
    }
    setpgid(shell, shell);
    int status = 0;
    const bool prepared = await(shell, status, deadline) && WIFSTOPPED(status);
    const std::string before = prepared ? listing(folder, row.changes) : "";
    const bool ended =
        (!prepared || (kill(shell, SIGCONT) == 0 && await(shell, status, deadline))) &&
        WIFEXITED(status);
    int ignored = 0;
    const bool reaped = ended && await(-shell, ignored, deadline);
    if (!reaped) {
        kill(-shell, SIGKILL);
        await(-shell, ignored, Clock::now() + std::chrono::seconds(10));
    }
    const std::string after = listing(folder, row.changes);
    const Bytes given = contents(folder / ".given"), out = contents(folder / ".out", true);
    const Bytes err = contents(folder / ".err", true);
    std::map<std::string, Bytes> changed;
    for (const auto& [file, bytes] : row.changes) {
        changed[file] = contents(folder / file);
    }
    removeAll(folder);
    if (!prepared && ended && WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << given;
    }
    ASSERT_TRUE(prepared) << "what is there before could not be made:\n" << given;
    ASSERT_TRUE(reaped) << "the row did not end, or left processes running, within "
                        << ROW_TIME.count() << " s";
    expectSame(row, "Standard output", out, row.out);
    expectSame(row, "Standard error", err, row.err);
    expectSame(row, "Exit status", std::to_string(WEXITSTATUS(status)), std::to_string(row.status));
    for (const auto& [file, bytes] : row.changes) {
        if (bytes) {
            expectSame(row, file, changed[file], *bytes);
        }
    }
    expectSame(row, "What is on disk", after, before);
}

}  // namespace tarvix::testing
