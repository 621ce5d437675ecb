// The built binary, one named row per behaviour: what is there before (r.rpl, the files named,
// what `given` makes), the run, what Tarvix printed and what it left on disk.
#include <gtest/gtest.h>

#include "cli_runner.h"

namespace tarvix::testing {
namespace {

using namespace std::literals;
using Files = std::map<std::string, Bytes>;

const Bytes USAGE = BANNER + "Usage: Tarvix [-s <setup file>] <replay file>\n";
const Bytes NOT_FOUND = MAP_AND_CAR + "Car setup not found\n";
const Bytes DRIVER1 = BANNER + "Profile name: Driver1\n";
const Bytes WRITTEN = SUMMARY + "Setup written to out.setup\n";
const std::map<std::string, std::optional<Bytes>> SETUP = {{"out.setup", SAMPLE_SETUP}};
const Files OLD = {{"out.setup", Bytes(100, 'o')}};  // longer than what is written, and read
const Bytes NOT_WRITTEN = "Setup not written: ";
const Bytes IS_A_REPLAY = NOT_WRITTEN + "out.setup is a replay file\n";
const Bytes TELL = NOT_WRITTEN + "cannot tell whether ";
// 16 bytes that clear a terminal, with UTF-8 (a C1 control, Ё) and bytes of a Windows code page.
const Bytes HOSTILE_NAME = "\x1b[2J\r\x7f\xc2\x9b\x9b\xd0\x81\xa0\xff ~A";
const Bytes HOSTILE = Bytes(SAMPLE).replace(12, 16, HOSTILE_NAME);
const Bytes ESCAPES = "\x1b]0;X\a\x1b[31m";  // a file name that retitles the window, as $N
#define ON_A_TERMINAL                                                                  \
    "need script && not_under wine Wine\\'s console rewrites what it shows && export " \
    "N=$(printf '\\033]0;X\\007\\033[31m')"
const std::string ZEROS(100, '0');
const std::string DEEP = ZEROS + "/" + ZEROS + "/" + ZEROS;  // $D after DEEP_MADE
#define DEEP_MADE "D=$(printf %0100d 0) && D=$D/$D/$D && mkdir -p $D"
#define LOOP_OVER_THE_REPLAY                                                          \
    "not_under wine Windows has no block devices && need losetup && { L=$(losetup -f" \
    " --show r.rpl 2>/dev/null) || skip no loop device here; } && ln -s $L dev"
#define HOLDS_STREAMS "not_under valgrind valgrind needs them && not_under wine Wine needs them"

// The sample's times, then `setup` to the end of the file, which claims `length` bytes.
Bytes sampleWithSetup(std::string_view setup, std::uint32_t length)
{
    return Replay(104).block(96, 30.5, 61.25, 95, setup).u32(100, length).bytes;
}

// clang-format off
const Row rows[] = {
    // The command line.
    {ROW("no_argument"), .run = "tarvix", .out = USAGE, .status = 1},
    {ROW("help_first"), .run = "tarvix -h r.rpl", .out = USAGE, .status = 1},
    {ROW("upper_case_help_and_later_help_are_paths"), .run = "tarvix -H -sh -h", .out = BANNER,
     .err = "Error reading file -h: No such file or directory\n", .status = 5},
    {ROW("s_takes_its_value"), .run = "tarvix -s r.rpl", .out = BANNER,
     .err = "No replay file name specified\n"},
    {ROW("the_last_s_and_path_count"), .run = "tarvix -s x y -S out.setup r.rpl -s",
     .out = WRITTEN, .changes = SETUP},

    // Loading.
    {ROW("64_bytes_are_no_replay"), .replay = Replay(64).bytes, .run = "tarvix r.rpl",
     .out = BANNER, .err = "Not a replay file\n"},
    {ROW("65_bytes_are_a_replay_whose_name_reaches_a_pipe_raw"),
     .replay = Replay(65).name(HOSTILE_NAME).bytes, .run = "tarvix r.rpl",
     .out = BANNER + "Profile name: " + HOSTILE_NAME + "\n" + NOT_FOUND},
    {ROW("2_GiB_are_no_replay"), .given = "need truncate && truncate -s 2G big",
     .run = "tarvix big", .out = BANNER, .err = "Not a replay file\n"},
    {ROW("a_directory"), .given = "mkdir d", .run = "tarvix d", .out = BANNER,
     .err = "Error reading file d: Is a directory\n", .status = 5},
    {ROW("a_pipe_cannot_be_measured"), .given = "not_under wine Windows has no /dev/stdin",
     .run = "cat r.rpl | tarvix /dev/stdin", .out = BANNER,
     .err = "Error reading file /dev/stdin: Illegal seek\n", .status = 5},
    {ROW("no_memory_for_the_replay"), .given = "unwrapped a limit on memory needs the plain"
     " binary && need truncate && truncate -s 2147483647 big",
     .run = "(ulimit -v 65536; tarvix big)",
     .out = BANNER, .err = "Error allocating 2147483647 bytes of memory\n"},

    // The standard streams: one lost, or closed by the caller and held meanwhile, so that no
    // file opened takes its descriptor and the messages meant for it.
    {ROW("standard_output_lost"), .given = "need /dev/full && not_under wine Wine writes a"
     " device at each printf and loses its error", .run = "tarvix -h >/dev/full", .out = "",
     .err = "Error writing standard output: No space left on device\n", .status = 5},
    {ROW("standard_output_closed"), .given = "not_under wine Wine needs it",
     .run = "tarvix -s r.rpl r.rpl >&-", .out = "", .err = NOT_WRITTEN + "r.rpl is the replay"
     " file\nError writing standard output: Bad file descriptor\n", .status = 5},
    {ROW("standard_error_closed"), .given = HOLDS_STREAMS, .run = "tarvix -s r.rpl r.rpl 2>&-"},
    {ROW("standard_input_closed"), .given = HOLDS_STREAMS, .run = "tarvix -s r.rpl r.rpl <&- 2>&-"},
    // A stream that writes into the replay, by any name or link, gets nothing more.
    {ROW("output_appended_to_the_replay"), .run = "tarvix r.rpl >>r.rpl", .out = "",
     .err = "Error writing standard output: r.rpl is the replay file\n", .status = 5},
    {ROW("errors_appended_to_the_replay"), .run = "tarvix -s r.rpl r.rpl 2>>r.rpl",
     .out = BANNER + "Error writing standard error: r.rpl is the replay file\n", .status = 5},
    {ROW("output_over_the_replay"), .run = "tarvix r.rpl 1<>r.rpl", .out = "",
     .err = "Error writing standard output: r.rpl is the replay file\n", .status = 5},
    {ROW("output_into_the_replay_by_a_link"), .given = "ln r.rpl h.dat && ln -s r.rpl s.dat",
     .run = "tarvix s.dat >>h.dat", .out = "",
     .err = "Error writing standard output: s.dat is the replay file\n", .status = 5},
    {ROW("output_into_the_replay_read_as_standard_input"),
     .given = "not_under wine Windows has no /dev/stdin", .run = "tarvix /dev/stdin <r.rpl >>r.rpl",
     .out = "", .err = "Error writing standard output: /dev/stdin is the replay file\n",
     .status = 5},
    {ROW("errors_into_a_replay_this_user_may_not_read"), .given = "unprivileged && chmod 222"
     " r.rpl && not_under wine Wine keeps a prefix per user", .run = "as_user tarvix r.rpl 2>>r.rpl",
     .out = BANNER + "Error writing standard error: r.rpl is the replay file\n", .status = 5},
    {ROW("output_into_a_block_device_over_the_replay"), .given = LOOP_OVER_THE_REPLAY,
     .run = "tarvix r.rpl >>dev; s=$?; losetup -d $L; (exit $s)", .out = "",
     .err = "Error writing standard output: r.rpl is the replay file\n", .status = 5},
    // Read from a block device, the replay may stand behind any file: here both streams'.
    {ROW("output_into_the_file_behind_a_block_device"), .given = LOOP_OVER_THE_REPLAY,
     .run = "tarvix dev >>r.rpl; s=$?; losetup -d $L; (exit $s)", .out = "", .status = 5},
    {ROW("both_streams_into_the_replay"), .run = "tarvix r.rpl >>r.rpl 2>&1", .out = "",
     .status = 5},
    {ROW("the_setup_file_as_the_file_of_standard_output"), .run = "tarvix -s o r.rpl >o",
     .out = "", .err = NOT_WRITTEN + "o is the standard output\n", .changes = {{"o", {}}}},
    {ROW("the_setup_file_as_the_file_of_standard_error"), .given = "not_under wine Wine has no"
     " /dev/stderr", .run = "tarvix -s /dev/stderr r.rpl 2>>e", .changes = {{"e", NOT_WRITTEN +
     "/dev/stderr is the standard error\n"}}},
    {ROW("the_setup_file_as_a_pipe_of_standard_output"), .given = "not_under wine Wine has no"
     " /dev/stdout", .run = "tarvix -s /dev/stdout r.rpl | cat",
     .out = SUMMARY + SAMPLE_SETUP + "Setup written to /dev/stdout\n"},
    {ROW("messages_in_order_in_one_stream"), .replay = sampleWithSetup("abc", 4),
     .run = "tarvix -s out.setup r.rpl 2>&1",
     .out = SUMMARY + "Car setup truncated (3 of 4 bytes present)\n"},

    // The summary.
    {ROW("huge_times_print_alike_on_every_host"), .replay = Replay().block(96, 2147483648.0F,
     -2147483648.0F, std::bit_cast<float>(0x5c7b9a39U), "").bytes, .run = "tarvix r.rpl",
     .out = DRIVER1 + MAP_AND_CAR + "Checkpoint 1: 35791394:08.00\n"
            "Checkpoint 2: -35791394:-8.00\nStage time  : 4721319250545869:48.00\n"},
    {ROW("a_name_from_a_zero_byte_is_empty"), .replay = Replay().name("\0Driver1"sv).bytes,
     .run = "tarvix r.rpl", .out = BANNER + "Profile name: \n" + NOT_FOUND},
    {ROW("no_setup_block_no_export"), .replay = Replay().bytes, .out = DRIVER1 + NOT_FOUND},

    // Names on a terminal, each stream on its own: the other stream gets the bytes.
    {ROW("names_masked_on_a_terminal_output"), .replay = HOSTILE, .given = ON_A_TERMINAL,
     .run = "on_a_terminal 'tarvix -s \"$N\" r.rpl'", .out = BANNER + "Profile name: ?[2J????"
     "\xd0\x81\xa0\xff ~A\n" + MAP_AND_CAR + TIMES + "Setup written to ?]0;X??[31m\n",
     .changes = {{ESCAPES, SAMPLE_SETUP}}},
    {ROW("names_masked_on_a_terminal_error"), .replay = HOSTILE,
     .given = ON_A_TERMINAL " && : >\"$N\"",
     .run = "on_a_terminal 'tarvix -s \"$N/x\" r.rpl >&3' 3>&2",
     .out = TELL + "?]0;X??[31m/x is a replay: Not a directory\n",
     .err = BANNER + "Profile name: " + HOSTILE_NAME + "\n" + MAP_AND_CAR + TIMES},
    {ROW("a_setup_masked_on_a_terminal"), .given = ON_A_TERMINAL,
     .run = "on_a_terminal 'tarvix -s /dev/tty r.rpl >&3' 3>&2", .out = "??? sample setup\xff",
     .err = SUMMARY + "Setup written to /dev/tty\n"},

    // On Windows' console: characters, names in UTF-8 or in the system's ANSI code page.
    {ROW("a_utf8_profile_name_on_a_terminal"), .replay = Bytes(SAMPLE).replace(12, 8, "Пётр"),
     .given = "need script", .run = "on_a_terminal 'tarvix r.rpl'",
     .out = BANNER + "Profile name: Пётр\n" + MAP_AND_CAR + TIMES},
    {ROW("a_utf8_file_name_on_a_terminal"), .given = "need script",
     .run = "on_a_terminal 'tarvix нет.rpl'",
     .out = BANNER + "Error reading file нет.rpl: No such file or directory\n", .status = 5},
    {ROW("a_windows_1252_profile_name_on_a_console"), .replay = Bytes(SAMPLE).replace(12, 5,
     "J\xf6rg\0"sv), .given = "need script && only_under wine Linux terminals get the bytes",
     .run = "on_a_terminal 'tarvix r.rpl'", .out = BANNER + "Profile name: Jörg\n" + MAP_AND_CAR + TIMES},
    {ROW("a_setup_on_a_console"), .given = "need script && only_under wine CON is a Windows device",
     .run = "on_a_terminal 'tarvix -s CON r.rpl >&3' 3>&2", .out = "??? sample setupÿ",
     .err = SUMMARY + "Setup written to CON\n"},

    // The export.
    {ROW("an_earlier_setup_is_replaced"), .files = OLD, .out = WRITTEN, .changes = SETUP},
    {ROW("49999_bytes_are_written"), .replay = sampleWithSetup(Bytes(49999, 'x'), 49999),
     .out = WRITTEN, .changes = {{"out.setup", Bytes(49999, 'x')}}},
    {ROW("50000_bytes_are_refused"), .replay = sampleWithSetup(Bytes(50000, 'x'), 50000),
     .files = OLD, .out = SUMMARY + "Car setup too large (50000 bytes)\n"},
    {ROW("the_length_prints_signed"), .replay = sampleWithSetup("abc", 0x80000000),
     .out = SUMMARY + "Car setup too large (-2147483648 bytes)\n"},
    {ROW("zeros_go_but_never_the_first"), .replay = sampleWithSetup("\0\0\0"sv, 3),
     .out = WRITTEN, .changes = {{"out.setup", Bytes(1, 0)}}},
    {ROW("0_bytes_make_an_empty_file"), .replay = sampleWithSetup("", 0), .out = WRITTEN,
     .changes = {{"out.setup", ""}}},
    {ROW("an_empty_setup_name_is_tried"), .run = "tarvix -s '' r.rpl",
     .err = "Could not open file : No such file or directory\n"},
    {ROW("a_full_disk_at_the_close"), .given = "need /dev/full", .run = "tarvix -s /dev/full r.rpl",
     .err = "Error writing file /dev/full: No space left on device\n"},
    {ROW("a_full_disk_at_the_write"), .replay = sampleWithSetup(Bytes(49999, 'x'), 49999),
     .given = "need /dev/full", .run = "tarvix -s /dev/full r.rpl",
     .err = "Unexpected number of bytes written: 0 (expected 49999)\n"},
    {ROW("a_device"), .run = "tarvix -s /dev/null r.rpl",
     .out = SUMMARY + "Setup written to /dev/null\n"},
    {ROW("a_link_to_nothing_is_not_followed"), .given = "ln -s nothing out.setup",
     .err = "Could not open file out.setup: File exists\n"},
    {ROW("a_directory_gets_the_open_error"), .given = "mkdir out.setup",
     .err = "Could not open file out.setup: Is a directory\n"},
    {ROW("a_read_only_file_gets_the_open_error"), .files = OLD,
     .given = "chmod 444 out.setup && unprivileged", .run = "as_user tarvix -s out.setup r.rpl",
     .err = "Could not open file out.setup: Permission denied\n"},
    {ROW("a_fifo_whose_reader_waits"), .given = "mkfifo p && { cat p >got & }",
     .run = "tarvix -s p r.rpl", .out = SUMMARY + "Setup written to p\n",
     .changes = {{"got", SAMPLE_SETUP}}},

    // The replay, by any name, is no setup file.
    {ROW("the_replay_itself"), .run = "tarvix -s r.rpl r.rpl",
     .err = NOT_WRITTEN + "r.rpl is the replay file\n"},
    {ROW("the_replay_by_a_hard_link"),
     .given = "ln r.rpl Трасса.rpl && ln r.rpl Ссылка",
     .run = "tarvix -s Ссылка Трасса.rpl",
     .err = NOT_WRITTEN + "Ссылка is the replay file\n"},
    // Nor is another replay: any file with a setup block, whichever marker starts it...
    {ROW("another_replay"), .files = {{"out.setup", Replay(65).block(56, 1, 2, 3, "").bytes}},
     .err = IS_A_REPLAY},
    {ROW("a_marker_in_the_name_hides_the_block_from_the_summary_alone"),
     .files = {{"out.setup", Bytes(SAMPLE).replace(16, 4, "PTSC")}}, .err = IS_A_REPLAY},
    {ROW("a_setup_block_after_64_KiB"),
     .files = {{"out.setup", Replay(65600).block(65536, 1, 2, 3, "").bytes}}, .err = IS_A_REPLAY},
    {ROW("markers_without_room_for_a_block_make_no_replay"),
     .files = {{"out.setup", Replay(100).raw(20, "PTSC").raw(96, "PTSC").bytes}}, .out = WRITTEN,
     .changes = SETUP},
    {ROW("too_short_for_a_replay"),
     .files = {{"out.setup", Replay(64).block(24, 1, 2, 3, "").bytes}}, .out = WRITTEN,
     .changes = SETUP},
    {ROW("2_GiB_less_a_byte_are_read"), .given = "need truncate && cp r.rpl out.setup &&"
     " truncate -s 2147483647 out.setup", .err = IS_A_REPLAY},
    {ROW("2_GiB_are_not_read"), .given = "need truncate && cp r.rpl out.setup &&"
     " truncate -s 2G out.setup", .out = WRITTEN, .changes = SETUP},
    {ROW("a_replay_larger_than_the_memory"), .given = "unwrapped a limit on memory needs the"
     " plain binary && need truncate && truncate -s 128M out.setup && cat r.rpl >>out.setup",
     .run = "(ulimit -v 65536; tarvix -s out.setup r.rpl)", .err = IS_A_REPLAY},
    {ROW("a_replay_by_the_name_given_even_unreadable"), .files = {{"c.rpl", ""}},
     .given = "chmod 0 c.rpl && unprivileged && not_under wine Wine keeps a prefix per user",
     .run = "as_user tarvix -s c.rpl r.rpl", .err = NOT_WRITTEN + "c.rpl is a replay file\n"},
    {ROW("a_read_only_replay"), .files = {{"out.setup", SAMPLE}},
     .given = "chmod 444 out.setup && unprivileged", .run = "as_user tarvix -s out.setup r.rpl",
     .err = IS_A_REPLAY},
    // ... and any file named *.rpl in any letter case, by the name given or by the name the
    // system tells for the file opened.
    {ROW("a_glob_s_RPL_without_a_setup_block"), .given = "head -c 5000 /dev/zero >A.RPL",
     .run = "tarvix -s A.RPL r.rpl", .err = NOT_WRITTEN + "A.RPL is a replay file\n"},
    {ROW("a_link_named_rpl_to_a_file_named_otherwise"), .files = OLD,
     .given = "ln -s out.setup L.rpl", .run = "tarvix -s L.rpl r.rpl",
     .err = NOT_WRITTEN + "L.rpl is a replay file\n"},
    {ROW("a_link_to_a_file_named_rpl"), .files = {{"A.rpl", ""}}, .given = "ln -s A.rpl out.setup",
     .err = IS_A_REPLAY},
    {ROW("a_replay_by_a_name_removed_while_open"), .files = {{"A.rpl", ""}},
     .given = "need /proc/self/fd && not_under wine Wine\\'s server opens /proc/self, not Tarvix"
     " && ln A.rpl D.rpl && exec 7<D.rpl && rm D.rpl", .run = "tarvix -s /proc/self/fd/7 r.rpl",
     .err = NOT_WRITTEN + "/proc/self/fd/7 is a replay file\n"},
    {ROW("a_hard_link_goes_by_the_name_given"), .files = {{"out.setup", SAMPLE.substr(0, 300)}},
     .given = "ln out.setup A.rpl", .out = WRITTEN,
     .changes = {{"out.setup", SAMPLE_SETUP}, {"A.rpl", SAMPLE_SETUP}}},

    // What cannot be judged is not written.
    {ROW("an_unreadable_file"), .files = OLD, .given = "chmod 222 out.setup && unprivileged &&"
     " not_under wine Wine keeps a prefix per user", .run = "as_user tarvix -s out.setup r.rpl",
     .err = TELL + "out.setup is a replay: Permission denied\n"},
    {ROW("a_folder_closed_to_its_user"), .given = "mkdir p && chmod 0 p && unprivileged &&"
     " not_under wine Wine keeps a prefix per user", .run = "as_user tarvix -s p/x r.rpl",
     .err = TELL + "p/x is a replay: Permission denied\n"},
    {ROW("a_read_error_while_judging"), .given = "f=/sys/class/net/lo/speed && need $f &&"
     " not_under wine Wine reads /sys its own way && ! cat $f >/dev/null 2>&1 ||"
     " skip needs a file whose read fails", .run = "tarvix -s $f r.rpl",
     .err = TELL + "/sys/class/net/lo/speed is a replay: Invalid argument\n"},
    {ROW("names_the_system_cannot_tell"), .files = OLD, .given = "unwrapped the sanitizers and"
     " wrappers need /proc && { unshare -m true 2>/dev/null || skip needs a mount namespace; }",
     .run = "unshare -m bash -c 'umount -l /proc && tarvix -s out.setup r.rpl'",
     .err = TELL + "out.setup is a replay: No such file or directory\n"},
    {ROW("a_block_device_whatever_it_holds"), .given = "not_under wine Windows has no block"
     " devices && need losetup && head -c 4096 /dev/zero >v.rpl && { L=$(losetup -f --show"
     " v.rpl 2>/dev/null) || skip no loop device here; } && ln -s $L out.setup",
     .run = "tarvix -s out.setup r.rpl; losetup -d $L",
     .err = TELL + "out.setup is a replay: Operation not supported\n"},
    // Another process swaps links to a replay with a setup block and to a *.rpl without one.
    {ROW("names_swapped_while_tarvix_runs"), .given = "cp r.rpl victim && head -c 99 /dev/zero"
     " >v.rpl && : >h && { (while :; do ln -sf victim out; ln -f h out; ln -f victim out;"
     " ln -sf h out; ln -sf v.rpl out; ln -f h out; done 2>/dev/null) & }",
     .run = "for _ in $(seq 300); do tarvix -s out r.rpl; [ $SECONDS -lt 5 ] || break; done"
     " >/dev/null 2>&1; kill $!", .out = "", .changes = {{"out", {}}, {"h", {}}}},
    // Windows opens names past 260 characters, and tells their names, only where allowed.
    {ROW("paths_past_260_characters_are_judged"), .given = DEEP_MADE " && cp r.rpl $D/B.dat",
     .run = "tarvix -s $D/B.dat r.rpl >/dev/null 2>&1", .out = ""},
    {ROW("paths_past_260_characters_are_created"), .given = DEEP_MADE,
     .run = "tarvix -s $D/new r.rpl >/dev/null", .out = "",
     .changes = {{DEEP + "/new", SAMPLE_SETUP}}},
};
// clang-format on

class Cli : public ::testing::TestWithParam<Row> {};

TEST_P(Cli, Runs)
{
    runRow(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rows, Cli, ::testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace tarvix::testing
