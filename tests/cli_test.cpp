// The built binary, one row per case: its command line and replay, and the standard output,
// standard error, exit status and setup file it leaves. No row may change the replay.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_support.h"

namespace tarvix::testing {
namespace {

const Bytes B = "Tarvix v" TARVIX_VERSION " (C) the Tarvix authors, https://tarvix.example.org/\n";
const Bytes USAGE = B + "Usage: Tarvix [-s <setup file>] <replay file>\n";
const Bytes CAR = "Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
const Bytes HEAD = B + "Profile name: Driver1\n" + CAR;
const Bytes NONE = CAR + "Car setup not found\n";
const Bytes HOSTILE = Replay().name("\x1b[2J\rX\t\x7f\x80\x9b\x9f\xa0\xff").bytes;  // clears a terminal
const Bytes SUMMARY =
    HEAD + "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
const Bytes T123 = HEAD + "Checkpoint 1: 0:01.00\nCheckpoint 2: 0:02.00\nStage time  : 0:03.00\n";
const Bytes WRITTEN = "Setup written to out.setup\n";
const Bytes MISSING = ": No such file or directory\n";

// Times 1, 2 and 3, then `setup` to the end of the file, which claims to hold `length` bytes.
const auto withSetup = [](std::string_view setup, std::uint32_t length) {
    return Replay(104).block(96, 1, 2, 3, setup).u32(100, length).bytes;
};

struct Row {
    const char* name;
    const char* script;  // run where r.rpl holds `replay` and out.setup holds "old"
    Bytes out, err;
    int status;
    Bytes replay = SAMPLE;
    Bytes setup = "old";  // out.setup afterwards
};

const Row rows[] = {
    {"the sample", "cmp r.rpl " TARVIX_SAMPLE " && tarvix " TARVIX_SAMPLE, SUMMARY, "", 0},
    {"no argument", "tarvix", USAGE, "", 1},
    {"-h first", "tarvix -h r.rpl", USAGE, "", 1},
    {"-H is a path", "tarvix -H", B, "Error reading file -H" + MISSING, 5},
    {"-h later is a path", "tarvix r.rpl -h", B, "Error reading file -h" + MISSING, 5},
    {"-s takes its value", "tarvix -s r.rpl", B, "No replay file name specified\n", 0},
    {"last -s wins, -S too", "tarvix -s x -S out.setup r.rpl && test ! -e x", SUMMARY + WRITTEN, "",
     0, SAMPLE, SAMPLE_SETUP},
    {"last path wins, trailing -s", "tarvix missing r.rpl -s", SUMMARY, "", 0},
    {"64 bytes", "tarvix r.rpl", B, "Not a replay file\n", 0, Replay(64).bytes},
    {"65 bytes", "tarvix r.rpl", B + "Profile name: Driver1\n" + NONE, "", 0, Replay(65).bytes},
    {"2 GiB", "truncate -s 2G big && tarvix big", B, "Not a replay file\n", 0},
    {"directory", "mkdir d && tarvix d", B, "Error reading file d: Is a directory\n", 5},
    // Wine writes a character device at each printf, which loses the error of a failed write.
    {"stdout lost", "skip wine && tarvix r.rpl >/dev/full", "",
     "Error writing standard output: No space left on device\n", 5},
    {"one stream, in order", "tarvix -s out.setup r.rpl 2>&1",
     T123 + "Car setup truncated (3 of 4 bytes present)\n", "", 0, withSetup("abc", 4)},
    {"allocation fails", "skip '' && truncate -s 1G big && ulimit -v 200000 && tarvix big", B,
     "Error allocating 1073741824 bytes of memory\n", 0},
    {"49999 written", "tarvix -s out.setup r.rpl", T123 + WRITTEN, "", 0,
     withSetup(Bytes(49999, 'x'), 49999), Bytes(49999, 'x')},
    {"50000 refused", "tarvix -s out.setup r.rpl", T123 + "Car setup too large (50000 bytes)\n", "",
     0, withSetup(Bytes(50000, 'x'), 50000)},
    {"length printed signed", "tarvix -s out.setup r.rpl",
     T123 + "Car setup too large (-2147483648 bytes)\n", "", 0, withSetup("abc", 0x80000000)},
    {"zeros keep the first", "tarvix -s out.setup r.rpl", T123 + WRITTEN, "", 0,
     withSetup("\0\0\0"sv, 3), Bytes(1, 0)},
    {"error at close", "tarvix -s /dev/full r.rpl", SUMMARY,
     "Error writing file /dev/full: No space left on device\n", 0},
    {"setup cannot open", "tarvix -s no/x r.rpl", SUMMARY, "Could not open file no/x" + MISSING, 0},
    {"another replay", "cp r.rpl out.setup && tarvix -s out.setup r.rpl", SUMMARY,
     "Setup not written: out.setup is a replay file\n", 0, SAMPLE, SAMPLE},
    {"-s *.rpl, the first without a setup block",
     "cp r.rpl a1.rpl && cp " TARVIX_SAMPLE " b2.rpl && tarvix -s a1.rpl b2.rpl && cmp r.rpl a1.rpl",
     SUMMARY, "Setup not written: a1.rpl is a replay file\n", 0, Replay(5000).bytes},
    {"a name in .RPL", "cp out.setup OLD.RPL && tarvix -s OLD.RPL r.rpl && cmp out.setup OLD.RPL",
     SUMMARY, "Setup not written: OLD.RPL is a replay file\n", 0},
    {"an unreadable target", "skip wine && head -c 99 /dev/zero >x && chmod 222 x && chmod 755 . && "
     "if [ $(id -u) = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups $TARVIX -s x r.rpl; "
     "else tarvix -s x r.rpl; fi; s=$?; chmod 644 x && head -c 99 /dev/zero | cmp -s - x && exit $s",
     SUMMARY, "Setup not written: cannot tell whether x is a replay: Permission denied\n", 0},
    {"a replay larger than the memory", "skip '' && (head -c 50M /dev/zero; cat r.rpl) >x && "
     "cp x y && ulimit -v 30000 && tarvix -s x r.rpl && cmp x y", SUMMARY,
     "Setup not written: x is a replay file\n", 0},
    {"a file without a setup block", "head -c 300 r.rpl >out.setup && tarvix -s out.setup r.rpl",
     SUMMARY + WRITTEN, "", 0, SAMPLE, SAMPLE_SETUP},
    {"control bytes in a pipe", "tarvix r.rpl",
     B + "Profile name: \x1b[2J\rX\t\x7f\x80\x9b\x9f\xa0\xff\n" + NONE, "", 0, HOSTILE},
    // Wine's console rewrites what it shows on a terminal.
    {"control bytes on a terminal", "skip wine && script -qec \"$TARVIX r.rpl\" /dev/null",
     B + "Profile name: ?[2J?X?????\xa0\xff\n" + NONE, "", 0, HOSTILE},
    {"names outside ASCII", "cp r.rpl Трасса.rpl && tarvix -s Н Трасса.rpl && mv Н out.setup",
     SUMMARY + "Setup written to Н\n", "", 0, SAMPLE, SAMPLE_SETUP},
    {"the replay by a link outside ASCII", "ln r.rpl Ссылка && tarvix -s Ссылка r.rpl", SUMMARY,
     "Setup not written: Ссылка is the replay file\n", 0},
};

TEST(Cli, Rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string dir = std::filesystem::temp_directory_path() / "tarvix-XXXXXX";
        ASSERT_NE(mkdtemp(dir.data()), nullptr);
        std::ofstream(dir + "/r.rpl", std::ios::binary) << row.replay;
        std::ofstream(dir + "/out.setup") << "old";
        // `tarvix` (or $TARVIX) runs the binary behind TARVIX_TEST_WRAPPER (valgrind, wine); `skip
        // x` skips a row under x, '' under any wrapper and the sanitizers. CRLF is read as LF.
        const std::string shell =
            "cd " + dir +
            " && export TARVIX=\"$TARVIX_TEST_WRAPPER ${TARVIX_TEST_BINARY:-" TARVIX_BINARY
            "}\" && tarvix() { $TARVIX \"$@\"; }; skip() { case \"${TARVIX_TEST_WRAPPER}" +
            (TARVIX_SANITIZED ? "sanitizers" : "") + "\" in '') ;; *$1*) exit 77;; esac; }; (" +
            row.script + ") >.out 2>.err; s=$?; sed -i 's/\\r$//' .out .err; exit $s";
        const int status = WEXITSTATUS(std::system(shell.c_str()));
        if (status != 77) {
            EXPECT_EQ(readFile(dir + "/.out"), row.out);
            EXPECT_EQ(readFile(dir + "/.err"), row.err);
            EXPECT_EQ(status, row.status);
            EXPECT_EQ(readFile(dir + "/r.rpl"), row.replay);
            EXPECT_EQ(readFile(dir + "/out.setup"), row.setup);
        }
        std::filesystem::remove_all(dir);
    }
}

}  // namespace
}  // namespace tarvix::testing
