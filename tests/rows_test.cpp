// The built binary, one named row per behaviour: its run, what it printed and left on disk.
#include <gtest/gtest.h>

#include "suite.h"

namespace tarvix::testing {
namespace {

using namespace std::literals;

// 16 bytes that clear a terminal, with UTF-8 (a C1 control, Ё) and bytes of a Windows code page.
const Bytes HOSTILE_NAME = "\x1b[2J\r\x7f\xc2\x9b\x9b\xd0\x81\xa0\xff ~A";
const Bytes HOSTILE = Bytes(SAMPLE).replace(12, 16, HOSTILE_NAME);
const Bytes DRIVER1 = BANNER + "Profile name: Driver1\n";
const Bytes ESCAPES = "\x1b]0;X\a\x1b[31m";  // a file name that retitles the window, as $N
#define STREAM_NAMES NOT_WINE("Wine tells no name for a stream a Unix shell opened")
#define ON_A_TERMINAL "need script && " NOT_WINE("Wine\\'s console rewrites what it shows")
#define NOBODY "unprivileged"
#define FEW_DESCRIPTORS "unwrapped the wrappers need descriptors"
#define ESCAPES_IN_N "export N=$(printf '\\033]0;X\\007\\033[31m')"

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
    {ROW("2_GiB_are_no_replay"), .needs = "need truncate", .given = "truncate -s 2G big",
     .run = "tarvix big", .out = BANNER, .err = "Not a replay file\n"},
    {ROW("a_directory"), .given = "mkdir d", .run = "tarvix d", .out = BANNER,
     .err = "Error reading file d: Is a directory\n", .status = 5},
    {ROW("a_fifo_is_not_waited_for"), .needs = NOT_WINE("Windows has no FIFO"), .given = "mkfifo f",
     .run = "tarvix f", .out = BANNER, .err = "Error reading file f: Illegal seek\n", .status = 5},
    {ROW("a_read_that_comes_up_short"), .needs = "need /sys/class/net/lo/type && "
     NOT_WINE("Wine reads /sys its own way"), .run = "tarvix /sys/class/net/lo/type", .out = BANNER,
     .err = "Unexpected number of bytes read: 4 (expected: 4096)\n"},
    {ROW("a_read_that_fails"), .needs = READ_FAILS, .run = "tarvix /sys/class/net/lo/speed",
     .out = BANNER, .err = "Unexpected number of bytes read: 0 (expected: 4096)\nError reading"
     " file /sys/class/net/lo/speed: Invalid argument\n", .status = 5},
    {ROW("no_memory_for_the_replay"), .needs = LIMITED, .given = "truncate -s 2147483647 big",
     .run = "(ulimit -v 65536; tarvix big)", .out = BANNER,
     .err = "Error allocating 2147483647 bytes of memory\n"},

    // The standard streams: one lost, or closed by the caller and held meanwhile.
    {ROW("standard_output_closed"), .needs = NOT_WINE("Wine needs it"),
     .run = "tarvix -s r.rpl r.rpl >&-", .out = "", .err = refused("r.rpl", "is the replay file") +
     "Error writing standard output: Bad file descriptor\n", .status = 5},
    {ROW("standard_error_closed"), .needs = HOLDS_STREAMS, .run = "tarvix -s r.rpl r.rpl 2>&-"},
    {ROW("the_holder_of_closed_error_is_no_setup_file"), .needs = HOLDS_STREAMS,
     .run = "tarvix -s /dev/stderr r.rpl 2>&-"},
    {ROW("the_holder_of_closed_input_is_no_setup_file"), .needs = HOLDS_STREAMS, .run = "tarvix -s"
     " /dev/stdin r.rpl <&-", .err = refused("/dev/stdin", "is the standard input")},
    {ROW("no_descriptor_to_hold_a_stream"), .needs = FEW_DESCRIPTORS,
     .run = "(ulimit -n 0 && exec \"$TARVIX_TEST_BINARY\" r.rpl) <&-", .out = "", .status = 5},
    // A stream into a replay (the one read, by any name, or any *.rpl) gets nothing at all.
    {ROW("output_appended_to_the_replay"), .run = "tarvix r.rpl >>r.rpl", .out = "",
     .err = into("output", "r.rpl"), .status = 5},
    {ROW("errors_appended_to_the_replay"), .run = "tarvix -s r.rpl r.rpl 2>>r.rpl",
     .out = BANNER + into("error", "r.rpl"), .status = 5},
    {ROW("output_into_the_replay_by_a_link"), .given = "ln r.rpl h.dat && ln -s r.rpl s.dat",
     .run = "tarvix s.dat >>h.dat", .out = "", .err = into("output", "s.dat"), .status = 5},
    {ROW("errors_into_a_replay_this_user_may_not_read"), .needs = NOBODY,
     .given = "chmod 222 r.rpl", .run = "as_user tarvix r.rpl 2>>r.rpl",
     .out = BANNER + into("error", "r.rpl"), .status = 5},
    {ROW("output_into_another_replay"), .files = {{"o.rpl", SAMPLE}}, .needs = STREAM_NAMES,
     .run = "tarvix o.rpl 1<>r.rpl", .out = "", .err = into("output", "./r.rpl", "a"), .status = 5},
    {ROW("the_usage_into_a_replay_not_read"), .needs = STREAM_NAMES, .run = "tarvix -h r.rpl"
     " >>r.rpl", .out = "", .err = into("output", "./r.rpl", "a"), .status = 5},
    {ROW("errors_of_a_missing_replay_into_a_replay"), .needs = STREAM_NAMES, .run = "tarvix"
     " missing.rpl 2>>r.rpl", .out = BANNER + into("error", "./r.rpl", "a"), .status = 5},
    {ROW("output_into_a_block_device_over_the_replay"), .given = "loop_over r.rpl dev",
     .run = "tarvix r.rpl >>dev", .out = "", .err = "Error writing standard output: cannot tell"
     " whether it is a replay: Operation not supported\n", .status = 5},
    {ROW("output_into_the_file_behind_a_block_device"), .given = "loop_over r.rpl dev",
     .run = "tarvix dev >>r.rpl", .out = "", .status = 5},
    {ROW("errors_into_the_replay_say_nothing_of_lost_output"), .needs = NOT_WINE("Wine needs it"),
     .run = "tarvix r.rpl >&- 2>>r.rpl", .out = "", .status = 5},
    {ROW("both_streams_over_the_replay"), .run = "tarvix r.rpl 1<>r.rpl 2>&1", .out = "",
     .status = 5},
    {ROW("a_stream_into_a_file_of_the_same_number_on_another_file_system"), .needs = MOUNTS,
     .given = "mkdir a b", .run = "unshare -m bash -c 'for d in a b; do mount -t tmpfs t $d; done"
     " && cp r.rpl a && : >b/o && [ $(stat -c %i a/r.rpl) = $(stat -c %i b/o) ] &&"
     " tarvix a/r.rpl >>b/o; cat b/o'"},
    {ROW("the_setup_file_as_the_file_of_standard_output"), .run = "tarvix -s o r.rpl >o",
     .out = "", .err = refused("o", "is the standard output"), .changes = {{"o", {}}}},
    {ROW("the_file_standard_input_reads_is_written"), .files = OLD,
     .run = "tarvix -s out.setup r.rpl <out.setup", .out = WRITTEN, .changes = SETUP},
    {ROW("the_setup_file_as_the_file_of_standard_error"), .needs = NOT_WINE("Wine has no"
     " /dev/stderr"), .run = "tarvix -s /dev/stderr r.rpl 2>>e",
     .changes = {{"e", refused("/dev/stderr", "is the standard error")}}},
    {ROW("the_setup_file_as_a_pipe_of_standard_output"), .needs = NOT_WINE("Wine has no"
     " /dev/stdout"), .run = "tarvix -s /dev/stdout r.rpl | cat",
     .out = SUMMARY + SAMPLE_SETUP + "Setup written to /dev/stdout\n"},
    {ROW("messages_in_order_in_one_stream"), .replay = sampleWithSetup("abc", 4), .run = "tarvix"
     " -s out.setup r.rpl 2>&1", .out = SUMMARY + "Car setup truncated (3 of 4 bytes present)\n"},

    // The summary.
    {ROW("huge_times_print_alike_on_every_host"), .replay = Replay().block(96, 2147483648.0F,
     -2147483648.0F, std::bit_cast<float>(0x5c7b9a39U), "").bytes, .run = "tarvix r.rpl",
     .out = DRIVER1 + MAP_AND_CAR + "Checkpoint 1: 35791394:08.00\n"
            "Checkpoint 2: -35791394:-8.00\nStage time  : 4721319250545869:48.00\n"},
    {ROW("no_setup_block_no_export"), .replay = Replay().bytes, .out = DRIVER1 + NOT_FOUND},

    // Names on a terminal, each stream on its own: the other stream gets the bytes.
    {ROW("names_masked_on_a_terminal_output"), .replay = HOSTILE, .needs = ON_A_TERMINAL,
     .given = ESCAPES_IN_N, .run = "on_a_terminal 'tarvix -s \"$N\" r.rpl'",
     .out = BANNER + "Profile name: ?[2J????\xd0\x81\xa0\xff ~A\n" + MAP_AND_CAR + TIMES +
     "Setup written to ?]0;X??[31m\n", .changes = {{ESCAPES, SAMPLE_SETUP}}},
    {ROW("names_masked_on_a_terminal_error"), .replay = HOSTILE, .needs = ON_A_TERMINAL,
     .given = ESCAPES_IN_N " && : >\"$N\"", .run = "on_a_terminal 'tarvix -s \"$N/x\" r.rpl >&3'"
     " 3>&2", .out = cannotTell("?]0;X??[31m/x", "Not a directory"),
     .err = BANNER + "Profile name: " + HOSTILE_NAME + "\n" + MAP_AND_CAR + TIMES},
    {ROW("a_setup_masked_on_a_terminal_written_whole"),
     .replay = sampleWithSetup("\1\x7f\x1b[2J \xc2\x9bё", 11), .needs = "need script",
     .given = "T=/dev/tty && case $TARVIX_TEST_WRAPPER in *wine*) T=CON;; esac",
     .run = "on_a_terminal \"tarvix -s $T r.rpl >/dev/null\"", .out = "???[2J ?ё"},
    {ROW("a_windows_1252_profile_name_on_a_console"), .replay = Bytes(SAMPLE).replace(12, 5,
     "J\xf6rg\0"sv), .needs = "need script && only_under wine Linux gets the bytes", .run =
     "on_a_terminal 'tarvix r.rpl'", .out = BANNER + "Profile name: Jörg\n" + MAP_AND_CAR + TIMES},

    // The export.
    {ROW("an_earlier_setup_is_replaced"), .files = OLD, .out = WRITTEN, .changes = SETUP},
    {ROW("50000_bytes_are_refused"), .replay = sampleWithSetup(Bytes(50000, 'x'), 50000),
     .files = OLD, .out = SUMMARY + "Car setup too large (50000 bytes)\n"},
    {ROW("the_length_prints_signed"), .replay = sampleWithSetup("abc", 0x80000000),
     .out = SUMMARY + "Car setup too large (-2147483648 bytes)\n"},
    {ROW("zeros_go_but_never_the_first"), .replay = sampleWithSetup("\0\0\0"sv, 3),
     .out = WRITTEN, .changes = {{"out.setup", Bytes(1, 0)}}},
    {ROW("0_bytes_make_an_empty_file"), .replay = sampleWithSetup("", 0),
     .out = WRITTEN, .changes = {{"out.setup", ""}}},
    {ROW("an_empty_setup_name_is_tried"), .run = "tarvix -s '' r.rpl",
     .err = "Could not open file : No such file or directory\n"},
    {ROW("a_full_disk_at_the_close"), .needs = "need /dev/full", .run = "tarvix -s /dev/full r.rpl",
     .err = "Error writing file /dev/full: No space left on device\n"},
    {ROW("a_full_disk_at_the_write"), .replay = sampleWithSetup(Bytes(49999, 'x'), 49999),
     .needs = "need /dev/full", .run = "tarvix -s /dev/full r.rpl",
     .err = "Unexpected number of bytes written: 0 (expected 49999)\n"},
    {ROW("a_link_to_nothing_is_not_followed"), .given = "ln -s nothing out.setup",
     .err = "Could not open file out.setup: File exists\n"},
    {ROW("a_directory_gets_the_open_error"), .given = "mkdir out.setup",
     .err = "Could not open file out.setup: Is a directory\n"},
    {ROW("a_read_only_file_gets_the_open_error"), .files = OLD, .needs = NOBODY,
     .given = "chmod 444 out.setup", .run = "as_user tarvix -s out.setup r.rpl",
     .err = "Could not open file out.setup: Permission denied\n"},
    {ROW("a_fifo_waits_for_its_reader"), .needs = NOT_WINE("Windows has no FIFO"),
     .given = "mkfifo p", .run = "tarvix -s p r.rpl & sleep 1; timeout 60 cat p >got; wait $!",
     .out = written("p"), .changes = {{"got", SAMPLE_SETUP}}},

    // Where a setup may not go: no replay, by any name, is a setup file.
    {ROW("the_replay_itself"), .run = "tarvix -s r.rpl r.rpl",
     .err = refused("r.rpl", "is the replay file")},
    {ROW("the_replay_by_a_hard_link"), .given = "ln r.rpl Тр.rpl && ln r.rpl Ссыл",
     .run = "tarvix -s Ссыл Тр.rpl", .err = refused("Ссыл", "is the replay file")},
    {ROW("a_file_behind_the_block_device_read"), .files = OLD, .given = "loop_over r.rpl dev",
     .run = "tarvix -s out.setup dev 2>&1 | cat", .out = BANNER + cannotTell("out.setup",
     "Operation not supported") + SUMMARY.substr(BANNER.size())},
    {ROW("a_replay_is_never_opened_to_be_written"), .needs = MOUNTS, .given = "mkdir -p l u w/work"
     " m && cp r.rpl l/x.dat", .run = "unshare -m bash -c 'mount -t overlay o -o lowerdir=l,"
     "upperdir=u,workdir=w m && tarvix -s m/x.dat r.rpl'", .err = refused("m/x.dat", "is a replay"
     " file")},
    // Nor is another replay: any file with a setup block, at any marker, of a replay's sizes...
    {ROW("a_marker_in_the_name_hides_the_block_from_the_summary_alone"),
     .files = {{"out.setup", Bytes(SAMPLE).replace(16, 4, "PTSC")}}, .err = IS_A_REPLAY},
    {ROW("a_marker_across_two_pieces_read"), .files = {{"out.setup", "zz" + Replay(65600).block(
     65532, 1, 2, 3, "").bytes}}, .err = IS_A_REPLAY},  // 64 KiB a piece: this one at 65534
    {ROW("a_marker_at_any_offset_as_in_an_archive"), .files = {{"out.setup", "zip" + SAMPLE}},
     .err = IS_A_REPLAY},
    {ROW("markers_without_room_for_a_block_make_no_replay"), .files = {{"out.setup",
     Replay(100).raw(20, "PTSC").raw(96, "PTSC").bytes}}, .out = WRITTEN, .changes = SETUP},
    {ROW("64_bytes_are_too_short_for_a_replay"), .files = {{"out.setup", Replay(64).block(24, 1,
     2, 3, "").bytes}}, .out = WRITTEN, .changes = SETUP},
    {ROW("65_bytes_are_read"), .files = {{"out.setup", Replay(65).block(24, 1, 2, 3, "").bytes}},
     .err = IS_A_REPLAY},
    {ROW("2_GiB_less_a_byte_are_read"), .needs = "need truncate",
     .given = "cp r.rpl out.setup && truncate -s 2147483647 out.setup", .err = IS_A_REPLAY},
    {ROW("a_replay_larger_than_the_memory"), .needs = LIMITED, .given = "truncate -s 128M"
     " out.setup && cat r.rpl >>out.setup", .run = "(ulimit -v 65536; tarvix -s out.setup r.rpl)",
     .err = IS_A_REPLAY},
    {ROW("a_read_only_replay"), .files = {{"out.setup", SAMPLE}}, .needs = NOBODY, .given =
     "chmod 444 out.setup", .run = "as_user tarvix -s out.setup r.rpl", .err = IS_A_REPLAY},
    // ... and any *.rpl, by the name given (even where it cannot be read) or the name told.
    {ROW("a_glob_s_RPL_without_a_setup_block"), .given = "head -c 5000 /dev/zero >A.RPL",
     .run = "tarvix -s A.RPL r.rpl", .err = refused("A.RPL", "is a replay file")},
    {ROW("a_replay_by_the_name_given_even_unreadable"), .files = {{"c.rpl", ""}},
     .needs = NOBODY, .given = "chmod 0 c.rpl", .run = "as_user tarvix -s c.rpl r.rpl",
     .err = refused("c.rpl", "is a replay file")},
    {ROW("a_link_named_rpl_to_a_file_named_otherwise"), .files = OLD, .given = "ln -s out.setup"
     " L.rpl", .run = "tarvix -s L.rpl r.rpl", .err = refused("L.rpl", "is a replay file")},
    {ROW("a_link_to_a_file_named_rpl"), .files = {{"A.rpl", ""}}, .given = "ln -s A.rpl out.setup",
     .err = IS_A_REPLAY},
    {ROW("a_replay_by_a_name_removed_while_open"), .files = {{"A.rpl", ""}},
     .needs = "need /proc/self/fd && " NOT_WINE("Wine\\'s server opens /proc/self, not Tarvix"),
     .given = "ln A.rpl D.rpl && exec 7<D.rpl && rm D.rpl",
     .run = "tarvix -s /proc/self/fd/7 r.rpl",
     .err = refused("/proc/self/fd/7", "is a replay file")},
    {ROW("a_hard_link_goes_by_the_name_given"), .files = {{"out.setup", SAMPLE.substr(0, 300)}},
     .given = "ln out.setup A.rpl", .out = WRITTEN,
     .changes = {{"out.setup", SAMPLE_SETUP}, {"A.rpl", SAMPLE_SETUP}}},

    // What cannot be judged is not written.
    {ROW("2_GiB_are_too_large_to_read"), .needs = "need truncate", .given = "cp r.rpl out.setup"
     " && truncate -s 2G out.setup", .err = cannotTell("out.setup", "File too large")},
    {ROW("an_unreadable_file"), .files = OLD, .needs = NOBODY, .given = "chmod 222 out.setup",
     .run = "as_user tarvix -s out.setup r.rpl",
     .err = cannotTell("out.setup", "Permission denied")},
    {ROW("a_folder_closed_to_its_user"), .needs = NOBODY, .given = "mkdir p && chmod 0 p",
     .run = "as_user tarvix -s p/x r.rpl", .err = cannotTell("p/x", "Permission denied")},
    {ROW("a_read_error_while_judging"), .needs = READ_FAILS, .given = "ln -s /sys/class/net/lo/"
     "speed s", .run = "tarvix -s s r.rpl", .err = cannotTell("s", "Invalid argument")},
    {ROW("names_the_system_cannot_tell"), .files = OLD, .needs = MOUNTS,
     .run = "unshare -m bash -c 'umount -l /proc && tarvix -s out.setup r.rpl'",
     .err = cannotTell("out.setup", "No such file or directory")},
    {ROW("a_block_device_whatever_it_holds"), .given = "head -c 4096 /dev/zero >v.rpl &&"
     " loop_over v.rpl out.setup", .err = cannotTell("out.setup", "Operation not supported")},
    // Another process swaps links to a replay with a setup block and to a *.rpl without one.
    {ROW("names_swapped_while_tarvix_runs"), .given = "cp r.rpl victim && head -c 99 /dev/zero"
     " >v.rpl && : >h && { (until [ -e stop ]; do ln -sf victim out; ln -f h out; ln -f victim"
     " out; ln -sf h out; ln -sf v.rpl out; ln -f h out; done 2>/dev/null) & }",
     .run = "for _ in $(seq 300); do tarvix -s out r.rpl; [ $SECONDS -lt 5 ] || break; done"
     " >/dev/null 2>&1; : >stop", .out = "", .changes = {{"out", {}}, {"h", {}}, {"stop", {}}}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Rows, Cli, ::testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace tarvix::testing
