// The built binary, one row per case: its command line and replay, and the standard output,
// standard error, exit status and setup file it leaves. No row may change the replay.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "test_support.h"

namespace tarvix::testing {
namespace {

const Bytes B = "Tarvix v" TARVIX_VERSION " (C) the Tarvix authors, https://tarvix.example.org/\n";
const Bytes USAGE = B + "Usage: Tarvix [-s <setup file>] <replay file>\n";
const Bytes CAR = "Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
const Bytes HEAD = B + "Profile name: Driver1\n" + CAR;
const Bytes HOSTILE = Replay().name("\x1b[2J\rX\t\x7f\x80\xff").bytes;  // clears a terminal
const Bytes SUMMARY =
    HEAD + "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
const Bytes T123 = HEAD + "Checkpoint 1: 0:01.00\nCheckpoint 2: 0:02.00\nStage time  : 0:03.00\n";
const Bytes WRITTEN = "Setup written to out.setup\n";
const Bytes& S = SAMPLE;

Bytes missing(const char* path)
{
    return "Error reading file "s + path + ": No such file or directory\n";
}
// Times 1, 2 and 3, then `setup` to the end of the file, which claims to hold `length` bytes.
Bytes withSetup(std::string_view setup, std::uint32_t length)
{
    return Replay(104).block(96, 1, 2, 3, setup).u32(100, length).bytes;
}

struct Row {
    const char* name;
    const char* script;  // run where r.rpl holds `replay` and out.setup holds "old"
    Bytes replay, out, err;
    int status;
    Bytes setup = "old";              // out.setup afterwards
    const char* skipUnder = nullptr;  // "wine", or "" for any wrapper and the sanitizers
};

const Row rows[] = {
    {"the sample", "cmp r.rpl " TARVIX_SAMPLE " && tarvix " TARVIX_SAMPLE, S, SUMMARY, "", 0},
    {"no argument", "tarvix", S, USAGE, "", 1},
    {"-h first", "tarvix -h r.rpl", S, USAGE, "", 1},
    {"-H is a path", "tarvix -H", S, B, missing("-H"), 5},
    {"-h later is a path", "tarvix r.rpl -h", S, B, missing("-h"), 5},
    {"-s takes its value", "tarvix -s r.rpl", S, B, "No replay file name specified\n", 0},
    {"last -s wins, -S too", "tarvix -s x -S out.setup r.rpl && test ! -e x", S, SUMMARY + WRITTEN,
     "", 0, SAMPLE_SETUP},
    {"last path wins, trailing -s", "tarvix missing r.rpl -s", S, SUMMARY, "", 0},
    {"64 bytes", "tarvix r.rpl", Replay(64).bytes, B, "Not a replay file\n", 0},
    {"65 bytes", "tarvix r.rpl", Replay(65).bytes, HEAD + "Car setup not found\n", "", 0},
    {"2 GiB", "truncate -s 2G big && tarvix big", S, B, "Not a replay file\n", 0},
    {"directory", "mkdir d && tarvix d", S, B, "Error reading file d: Is a directory\n", 5},
    {"stdout lost", "tarvix r.rpl >/dev/full", S, "",
     "Error writing standard output: No space left on device\n", 5, "old",
     "wine"},  // Wine writes a character device at each printf, and its error number is lost
    {"one stream, in order", "tarvix -s out.setup r.rpl 2>&1", withSetup("abc", 4),
     T123 + "Car setup truncated (3 of 4 bytes present)\n", "", 0},
    {"allocation fails", "truncate -s 1G big && ulimit -v 200000 && tarvix big", S, B,
     "Error allocating 1073741824 bytes of memory\n", 0, "old", ""},
    {"49999 written", "tarvix -s out.setup r.rpl", withSetup(Bytes(49999, 'x'), 49999),
     T123 + WRITTEN, "", 0, Bytes(49999, 'x')},
    {"50000 refused", "tarvix -s out.setup r.rpl", withSetup(Bytes(50000, 'x'), 50000),
     T123 + "Car setup too large (50000 bytes)\n", "", 0},
    {"length printed signed", "tarvix -s out.setup r.rpl", withSetup("abc", 0x80000000),
     T123 + "Car setup too large (-2147483648 bytes)\n", "", 0},
    {"zeros keep the first", "tarvix -s out.setup r.rpl", withSetup("\0\0\0"sv, 3), T123 + WRITTEN,
     "", 0, Bytes(1, 0)},
    {"error at close", "tarvix -s /dev/full r.rpl", S, SUMMARY,
     "Error writing file /dev/full: No space left on device\n", 0},
    {"setup cannot open", "tarvix -s no/x r.rpl", S, SUMMARY,
     "Could not open file no/x: No such file or directory\n", 0},
    {"the replay by a link", "ln r.rpl h && tarvix -s h r.rpl", S, SUMMARY,
     "Setup not written: h is the replay file\n", 0},
    {"another replay", "cp r.rpl out.setup && tarvix -s out.setup r.rpl", S, SUMMARY,
     "Setup not written: out.setup is a replay file\n", 0, S},
    {"a file without a setup block", "head -c 300 r.rpl >out.setup && tarvix -s out.setup r.rpl", S,
     SUMMARY + WRITTEN, "", 0, SAMPLE_SETUP},
    {"control bytes on a terminal", "script -qec \"$TARVIX r.rpl\" /dev/null", HOSTILE,
     B + "Profile name: ?[2J?X??\x80\xff\n" + CAR + "Car setup not found\n", "", 0, "old",
     "wine"},  // Wine's console rewrites what it shows on a terminal
    {"names outside ASCII",
     "cp r.rpl Трасса.rpl && tarvix -s Настройка Трасса.rpl && mv Настройка out.setup", S,
     SUMMARY + "Setup written to Настройка\n", "", 0, SAMPLE_SETUP},
    {"the replay by a link outside ASCII", "ln r.rpl Ссылка && tarvix -s Ссылка r.rpl", S, SUMMARY,
     "Setup not written: Ссылка is the replay file\n", 0},
    {"control bytes in a pipe", "tarvix r.rpl", HOSTILE,
     B + "Profile name: \x1b[2J\rX\t\x7f\x80\xff\n" + CAR + "Car setup not found\n", "", 0},
};

TEST(Cli, Rows)
{
    const std::string wrapper =
        std::getenv("TARVIX_TEST_WRAPPER") ? std::getenv("TARVIX_TEST_WRAPPER") : "";
    const bool wrapped = !wrapper.empty() || TARVIX_SANITIZED;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string dir = std::filesystem::temp_directory_path() / "tarvix-XXXXXX";
        if (row.skipUnder &&
            (*row.skipUnder ? wrapper.find(row.skipUnder) != std::string::npos : wrapped)) {
            continue;
        }
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        std::ofstream(dir + "/r.rpl", std::ios::binary) << row.replay;
        std::ofstream(dir + "/out.setup") << "old";
        // `tarvix`, or $TARVIX in a shell of its own, runs the binary, behind TARVIX_TEST_WRAPPER
        // (valgrind, wine) when that is set. Line ends are read as LF.
        const std::string shell =
            "cd " + dir + " && export TARVIX=\"$TARVIX_TEST_WRAPPER " +
            "${TARVIX_TEST_BINARY:-" TARVIX_BINARY "}\" && tarvix() { $TARVIX \"$@\"; }; (" +
            row.script + ") >.out 2>.err; s=$?; sed -i 's/\\r$//' .out .err; exit $s";
        const int status = std::system(shell.c_str());
        EXPECT_EQ(readFile(dir + "/.out"), row.out);
        EXPECT_EQ(readFile(dir + "/.err"), row.err);
        EXPECT_EQ(WEXITSTATUS(status), row.status);
        EXPECT_EQ(readFile(dir + "/r.rpl"), row.replay);
        EXPECT_EQ(readFile(dir + "/out.setup"), row.setup);
        std::filesystem::remove_all(dir);
    }
}

}  // namespace
}  // namespace tarvix::testing
