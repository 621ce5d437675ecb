// The built binary, one named row per behaviour: a shell command run in a folder that holds
// r.rpl and out.setup, and what it leaves. Paths reach the commands in variables only.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "test_support.h"

namespace tarvix::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::literals;

const Bytes BANNER =
    "Tarvix v" TARVIX_VERSION " (C) the Tarvix authors, https://tarvix.example.org/\n";
const Bytes USAGE = BANNER + "Usage: Tarvix [-s <setup file>] <replay file>\n";
const Bytes MAP_AND_CAR = "Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
const Bytes NOT_FOUND = MAP_AND_CAR + "Car setup not found\n";
const Bytes DRIVER1 = BANNER + "Profile name: Driver1\n" + MAP_AND_CAR;
const Bytes TIMES = "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
const Bytes SAMPLE_SUMMARY = DRIVER1 + TIMES;
const Bytes WRITTEN = "Setup written to out.setup\n";
const Bytes NO_SUCH_FILE = ": No such file or directory\n";
const Bytes IS_A_REPLAY = "Setup not written: out.setup is a replay file\n";
// 16 bytes that clear a terminal, with UTF-8 (a C1 control, Ё) and bytes of a Windows code page.
const Bytes HOSTILE_NAME = "\x1b[2J\r\x7f\xc2\x9b\x9b\xd0\x81\xa0\xff ~A";
const Bytes HOSTILE = Bytes(SAMPLE).replace(12, 16, HOSTILE_NAME);
const Bytes NOT_A_FOLDER =
    "Setup not written: cannot tell whether \x1b]0;X\a\x1b[31m/x is a replay: Not a directory\n";

// The sample's times, then `setup` to the end of the file, which claims `length` bytes.
Bytes sampleWithSetup(std::string_view setup, std::uint32_t length)
{
    return Replay(104).block(96, 30.5, 61.25, 95, setup).u32(100, length).bytes;
}

// What every command may call: `tarvix` runs the binary behind the words of TARVIX_TEST_WRAPPER
// (valgrind, wine); `tarvix_unprivileged` does so as nobody when the tests run as root; `need`
// skips the row, with the reason, where a tool or file is missing (status 77).
constexpr const char* PRELUDE = R"sh(
skip() { echo "$*" >&2; exit 77; }
need() { for x; do [ -e "$x" ] || command -v "$x" >/dev/null || skip "needs $x"; done; }
tarvix() { $TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" "$@"; }
tarvix_unprivileged() {
  if [ "$(id -u)" != 0 ]; then tarvix "$@"; return; fi
  need setpriv && chmod o+rx . && chmod o+r r.rpl
  as_nobody() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups $TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" "$@"; }
  as_nobody -h 2>/dev/null | grep -q '^Usage: Tarvix' || skip "nobody cannot start the binary (a folder on its path is closed to nobody)"
  as_nobody "$@"
}
)sh";
// The streams go to .out and .err.
constexpr const char* EPILOGUE =
    R"sh() >.out 2>.err; status=$?; chmod -R u+rwx . 2>/dev/null; exit $status)sh";

struct Row {
    const char* name;
    const char* command = "tarvix -s out.setup r.rpl";
    Bytes replay = SAMPLE;               // r.rpl
    std::optional<Bytes> setup = "old";  // out.setup before the run; none: no such file
    Bytes out{}, err{};
    int status = 0;
    std::optional<Bytes> written{};  // out.setup afterwards, when the run changed it
    const char* notUnderWine = nullptr;
    bool limitsMemory = false;  // needs the plain binary, without sanitizers or a wrapper
};

// A stream read with the line ends of Windows and terminals as \n.
Bytes readLines(const char* path)
{
    Bytes text = readFile(path);
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != Bytes::npos;) {
        text.erase(at, 1);
    }
    return text;
}

// clang-format off
const Row rows[] = {
    {.name = "no_argument", .command = "tarvix", .out = USAGE, .status = 1},
    {.name = "help_first", .command = "tarvix -h r.rpl", .out = USAGE, .status = 1},
    {.name = "upper_case_help_and_later_help_are_paths", .command = "tarvix -H -sh -h", .out = BANNER, .err = "Error reading file -h" + NO_SUCH_FILE, .status = 5},
    {.name = "s_takes_its_value", .command = "tarvix -s r.rpl", .out = BANNER, .err = "No replay file name specified\n"},
    {.name = "the_last_s_and_path_count", .command = "tarvix -s x y -S out.setup r.rpl -s", .out = SAMPLE_SUMMARY + WRITTEN, .written = SAMPLE_SETUP},
    {.name = "64_bytes_are_no_replay", .command = "tarvix r.rpl && : >e && tarvix e", .replay = Replay(64).bytes, .out = BANNER + BANNER, .err = "Not a replay file\nNot a replay file\n"},
    {.name = "2_GiB_are_no_replay", .command = "need truncate && truncate -s 2G big && tarvix big", .out = BANNER, .err = "Not a replay file\n"},
    {.name = "a_directory", .command = "mkdir d && tarvix d", .out = BANNER, .err = "Error reading file d: Is a directory\n", .status = 5},
    {.name = "no_memory", .command = "need truncate && truncate -s 2147483647 big && ulimit -v 65536 && tarvix big", .out = BANNER, .err = "Error allocating 2147483647 bytes of memory\n", .limitsMemory = true},
    {.name = "standard_output_lost", .command = "need /dev/full; tarvix -h >/dev/full || tarvix r.rpl >/dev/full", .err = "Error writing standard output: No space left on device\n"s + "Error writing standard output: No space left on device\n", .status = 5,
     .notUnderWine = "Wine writes a character device at each printf and loses its error"},
    // A closed stream's descriptor would go to the setup file, and the messages with it.
    {.name = "closed_standard_streams_take_no_file", .command = "case $TARVIX_TEST_WRAPPER in *valgrind* | *wine*) skip 'valgrind and Wine need the streams the row closes';; esac; cp r.rpl keep && echo notes >n.txt && cp n.txt notes && { tarvix -s r.rpl r.rpl 2>&-; tarvix -s n.txt r.rpl >&- 2>&-; echo $?; tarvix -s r.rpl r.rpl >&- 2>&-; echo $?; }; cmp r.rpl keep && cmp n.txt notes",
     .replay = sampleWithSetup("abc", 4), .out = SAMPLE_SUMMARY + "5\n5\n"},
    {.name = "messages_in_order_in_one_stream", .command = "tarvix -s out.setup r.rpl 2>&1", .replay = sampleWithSetup("abc", 4),
     .out = SAMPLE_SUMMARY + "Car setup truncated (3 of 4 bytes present)\n"},
    {.name = "huge_times_print_alike_on_every_host", .command = "tarvix r.rpl", .replay = Replay().block(96, 2147483648.0F, -2147483648.0F, std::bit_cast<float>(0x5c7b9a39U), "").bytes,
     .out = DRIVER1 + "Checkpoint 1: 35791394:08.00\nCheckpoint 2: -35791394:-8.00\nStage time  : 4721319250545869:48.00\n"},
    {.name = "a_name_from_a_zero_byte_is_empty", .command = "tarvix r.rpl", .replay = Replay().name("\0Driver1"sv).bytes, .out = BANNER + "Profile name: \n" + NOT_FOUND},
    {.name = "65_bytes_are_a_replay_whose_name_reaches_a_pipe_raw", .command = "tarvix r.rpl", .replay = Replay(65).name(HOSTILE_NAME).bytes,
     .out = BANNER + "Profile name: " + HOSTILE_NAME + "\n" + NOT_FOUND},
    {.name = "control_characters_on_a_terminal_stream_by_stream", .command = R"sh(need script && export N="$(printf '\033]0;X\007\033[31m')" &&
     script -qec '$TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" -s "$N" r.rpl 2>/dev/null; $TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" -s "$N/x" r.rpl >/dev/null; $TARVIX_TEST_WRAPPER "$TARVIX_TEST_BINARY" -s /dev/tty r.rpl >/dev/null' /dev/null && tarvix -s "$N/x" r.rpl 2>&1 >/dev/null)sh", .replay = HOSTILE,
     .out = BANNER + "Profile name: ?[2J????\xd0\x81\xa0\xff ~A\n" + MAP_AND_CAR + TIMES + "Setup written to ?]0;X??[31m\nSetup not written: cannot tell whether ?]0;X??[31m/x is a replay: Not a directory\n??? sample setup\xff" + NOT_A_FOLDER,
     .notUnderWine = "Wine's console rewrites what it shows"},
    {.name = "49999_bytes_replace_the_file", .command = "need /dev/full && tarvix -s out.setup r.rpl && tarvix -s /dev/full r.rpl", .replay = sampleWithSetup(Bytes(49999, 'x'), 49999), .out = SAMPLE_SUMMARY + WRITTEN + SAMPLE_SUMMARY, .err = "Unexpected number of bytes written: 0 (expected 49999)\n", .written = Bytes(49999, 'x')},
    {.name = "50000_bytes_are_refused", .replay = sampleWithSetup(Bytes(50000, 'x'), 50000), .out = SAMPLE_SUMMARY + "Car setup too large (50000 bytes)\n"},
    {.name = "the_length_prints_signed", .replay = sampleWithSetup("abc", 0x80000000), .out = SAMPLE_SUMMARY + "Car setup too large (-2147483648 bytes)\n"},
    {.name = "zeros_go_but_never_the_first", .replay = sampleWithSetup("\0\0\0"sv, 3), .out = SAMPLE_SUMMARY + WRITTEN, .written = Bytes(1, 0)},
    {.name = "0_bytes_make_an_empty_file", .replay = sampleWithSetup("", 0), .setup = std::nullopt, .out = SAMPLE_SUMMARY + WRITTEN, .written = ""},
    {.name = "an_empty_setup_name_is_tried", .command = "tarvix -s '' r.rpl", .out = SAMPLE_SUMMARY, .err = "Could not open file " + NO_SUCH_FILE},
    {.name = "a_full_disk", .command = "need /dev/full && tarvix -s /dev/full r.rpl", .out = SAMPLE_SUMMARY, .err = "Error writing file /dev/full: No space left on device\n"},
    // Where a setup may be written.
    {.name = "the_replay_by_a_link", .command = "ln r.rpl Трасса.rpl && ln r.rpl Ссылка && tarvix -s Ссылка Трасса.rpl", .out = SAMPLE_SUMMARY,
     .err = "Setup not written: Ссылка is the replay file\n"},
    {.name = "another_replay", .setup = Replay(65).block(56, 1, 2, 3, "").bytes, .out = SAMPLE_SUMMARY, .err = IS_A_REPLAY},
    {.name = "a_glob_s_RPL_without_a_setup_block", .command = "head -c 5000 /dev/zero >A.RPL && tarvix -s A.RPL r.rpl", .out = SAMPLE_SUMMARY, .err = "Setup not written: A.RPL is a replay file\n"},
    {.name = "a_link_to_a_replay_without_a_setup_block_even_from_a_deleted_folder", .command = "head -c 99 /dev/zero >A.rpl && cp A.rpl zeros && ln -s A.rpl link && tarvix -s link r.rpl && mkdir g && (cd g && rmdir ../g && tarvix -s ../link ../r.rpl >/dev/null 2>&1); cmp A.rpl zeros",
     .out = SAMPLE_SUMMARY, .err = "Setup not written: link is a replay file\n"},
    {.name = "a_replay_by_a_name_removed_while_open", .command = "need /proc/self/fd && head -c 99 /dev/zero >A.rpl && cp A.rpl zeros && ln A.rpl D.rpl && exec 7<D.rpl && rm D.rpl && tarvix -s /proc/self/fd/7 r.rpl; cmp A.rpl zeros",
     .out = SAMPLE_SUMMARY, .err = "Setup not written: /proc/self/fd/7 is a replay file\n", .notUnderWine = "Wine's server, not Tarvix, opens /proc/self"},
    {.name = "a_fifo_whose_reader_waits", .command = "need mkfifo timeout && mkfifo p && { cat p >out.setup & } && timeout 20 $TARVIX_TEST_WRAPPER \"$TARVIX_TEST_BINARY\" -s p r.rpl",
     .out = SAMPLE_SUMMARY + "Setup written to p\n", .written = SAMPLE_SETUP},
    {.name = "a_block_device_whatever_it_holds", .command = "need losetup && head -c 4096 /dev/zero >v.rpl && cp v.rpl zeros && { L=$(losetup -f --show v.rpl 2>/dev/null) || skip 'no loop device here'; } &&"
     "{ tarvix -s \"$L\" r.rpl >/dev/null 2>&1; losetup -d \"$L\"; } && cmp v.rpl zeros"},
    {.name = "a_hard_link_goes_by_the_name_given", .command = "ln out.setup A.rpl && tarvix -s out.setup r.rpl", .setup = SAMPLE.substr(0, 300), .out = SAMPLE_SUMMARY + WRITTEN, .written = SAMPLE_SETUP},
    // Another process swaps links to a replay with a setup block and to a *.rpl without one.
    {.name = "names_swapped_while_tarvix_runs", .command = "cp r.rpl victim && head -c 99 /dev/zero >v.rpl && cp v.rpl zeros && : >h && (while :; do ln -sf victim out; ln -f h out; ln -f victim out; ln -sf h out; ln -sf v.rpl out; ln -f h out; done 2>/dev/null) & swapper=$!;"
     "sleep 5 & timer=$!; i=0; while [ $i -lt 300 ] && kill -0 $timer 2>/dev/null; do tarvix -s out r.rpl; i=$((i + 1)); done >/dev/null 2>&1; kill $swapper $timer 2>/dev/null; cmp victim r.rpl && cmp v.rpl zeros"},
    {.name = "paths_past_260_characters_are_judged", .command = "p=$(printf %0100d 0) && p=$p/$p/$p && mkdir -p $p && cp r.rpl $p/B.dat && head -c 99 /dev/zero >$p/A.rpl && cp $p/A.rpl zeros && "
     "{ tarvix -s $p/B.dat r.rpl; tarvix -s $p/A.rpl r.rpl; tarvix -s $p/new r.rpl; } >/dev/null 2>&1; cmp r.rpl $p/B.dat && cmp zeros $p/A.rpl && cmp $p/new out.setup", .setup = SAMPLE_SETUP},
    {.name = "too_short_is_replaced", .setup = Replay(64).block(24, 1, 2, 3, "").bytes, .out = SAMPLE_SUMMARY + WRITTEN, .written = SAMPLE_SETUP},
    {.name = "a_marker_in_the_name_hides_the_block_from_the_summary_alone", .command = "tarvix -s out.setup r.rpl && tarvix out.setup", .setup = Bytes(SAMPLE).replace(16, 4, "PTSC"),
     .out = SAMPLE_SUMMARY + BANNER + "Profile name: DrivPTSC\n" + NOT_FOUND, .err = IS_A_REPLAY},
    {.name = "a_setup_block_after_64_KiB", .setup = Replay(65600).block(65536, 1, 2, 3, "").bytes, .out = SAMPLE_SUMMARY, .err = IS_A_REPLAY},
    {.name = "2_GiB_are_not_read", .command = "need truncate && cp r.rpl big && truncate -s 2147483647 big && tarvix -s big r.rpl && truncate -s 2G big && tarvix -s big r.rpl", .out = SAMPLE_SUMMARY + SAMPLE_SUMMARY + "Setup written to big\n", .err = "Setup not written: big is a replay file\n"},
    {.name = "a_replay_larger_than_the_memory", .command = "need truncate && truncate -s 128M big && cat r.rpl >>big && ulimit -v 65536 && tarvix -s big r.rpl", .out = SAMPLE_SUMMARY,
     .err = "Setup not written: big is a replay file\n", .limitsMemory = true},
    {.name = "an_unreadable_file_or_folder", .command = "chmod 222 out.setup && mkdir p && chmod 0 p && tarvix_unprivileged -s p/x r.rpl && tarvix_unprivileged -s out.setup r.rpl", .setup = Bytes(100, 'x'), .out = SAMPLE_SUMMARY + SAMPLE_SUMMARY,
     .err = "Setup not written: cannot tell whether p/x is a replay: Permission denied\nSetup not written: cannot tell whether out.setup is a replay: Permission denied\n", .notUnderWine = "Wine keeps a prefix per user"},
};
// clang-format on

class Cli : public ::testing::TestWithParam<Row> {};

TEST_P(Cli, Runs)
{
    const Row& row = GetParam();
    const char* wrapperVariable = std::getenv("TARVIX_TEST_WRAPPER");
    const std::string wrapper = wrapperVariable != nullptr ? wrapperVariable : "";
    if (row.limitsMemory && (TARVIX_SANITIZED || !wrapper.empty())) {
        GTEST_SKIP() << "a limit on memory needs the plain binary, without sanitizers or a wrapper";
    }
    if (row.notUnderWine != nullptr && wrapper.find("wine") != std::string::npos) {
        GTEST_SKIP() << row.notUnderWine;
    }
    setenv("TARVIX_TEST_BINARY", TARVIX_BINARY, 0);  // unless the run names one, as Tarvix.exe
    std::string folder = fs::temp_directory_path() / "tarvix-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    fs::current_path(folder);
    std::ofstream("r.rpl", std::ios::binary) << row.replay;
    if (row.setup) {
        std::ofstream("out.setup", std::ios::binary) << *row.setup;
    }
    const int status = WEXITSTATUS(std::system((PRELUDE + "("s + row.command + EPILOGUE).c_str()));
    const auto setup =
        fs::exists("out.setup") ? std::optional(readFile("out.setup")) : std::nullopt;
    const Bytes out = readLines(".out"), err = readLines(".err"), replay = readFile("r.rpl");
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
    if (status == 77) {
        GTEST_SKIP() << err;
    }
    EXPECT_EQ(out, row.out);
    EXPECT_EQ(err, row.err);
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(replay, row.replay);
    EXPECT_EQ(setup, row.written ? row.written : row.setup);
}

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.command;
}

INSTANTIATE_TEST_SUITE_P(Rows, Cli, ::testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace tarvix::testing
