// The built binary, as with the rows: where a setup may not go. No replay is a setup file, and
// what cannot be judged is not written.
#include <gtest/gtest.h>

#include "suite.h"

namespace tarvix::testing {
namespace {

#define NOBODY "unprivileged"

// clang-format off
const Row rows[] = {
    // The replay, by any name, is no setup file.
    {ROW("the_replay_itself"), .run = "tarvix -s r.rpl r.rpl",
     .err = refused("r.rpl", "is the replay file")},
    {ROW("the_replay_by_a_hard_link"), .given = "ln r.rpl Тр.rpl && ln r.rpl Ссыл",
     .run = "tarvix -s Ссыл Тр.rpl", .err = refused("Ссыл", "is the replay file")},
    {ROW("a_file_behind_the_block_device_read"), .files = OLD, .given = "loop_over r.rpl dev",
     .run = "tarvix -s out.setup dev 2>&1 | cat",
     .out = BANNER + cannotTell("out.setup", "Operation not supported") +
            SUMMARY.substr(BANNER.size())},
    {ROW("a_replay_is_never_opened_to_be_written"), .needs = MOUNTS, .given = "mkdir -p l u w/work"
     " m && cp r.rpl l/x.dat", .run = "unshare -m bash -c 'mount -t overlay o -o lowerdir=l,"
     "upperdir=u,workdir=w m && tarvix -s m/x.dat r.rpl'", .err = refused("m/x.dat", "is a replay"
     " file")},
    // Nor is another replay: any file with a setup block, whichever marker starts it...
    {ROW("a_marker_in_the_name_hides_the_block_from_the_summary_alone"),
     .files = {{"out.setup", Bytes(SAMPLE).replace(16, 4, "PTSC")}}, .err = IS_A_REPLAY},
    {ROW("a_setup_block_after_64_KiB"),
     .files = {{"out.setup", Replay(65600).block(65536, 1, 2, 3, "").bytes}}, .err = IS_A_REPLAY},
    {ROW("a_marker_at_any_offset_as_in_an_archive"), .files = {{"out.setup", "zip" + SAMPLE}},
     .err = IS_A_REPLAY},
    {ROW("markers_without_room_for_a_block_make_no_replay"), .files = {{"out.setup",
     Replay(100).raw(20, "PTSC").raw(96, "PTSC").bytes}}, .out = WRITTEN, .changes = SETUP},
    // ... of the sizes a replay may have, read in the same little memory whatever their size;
    {ROW("64_bytes_are_too_short_for_a_replay"),
     .files = {{"out.setup", Replay(64).block(24, 1, 2, 3, "").bytes}},
     .out = WRITTEN, .changes = SETUP},
    {ROW("65_bytes_are_read"), .files = {{"out.setup", Replay(65).block(24, 1, 2, 3, "").bytes}},
     .err = IS_A_REPLAY},
    {ROW("2_GiB_less_a_byte_are_read"), .needs = "need truncate",
     .given = "cp r.rpl out.setup && truncate -s 2147483647 out.setup", .err = IS_A_REPLAY},
    {ROW("a_replay_larger_than_the_memory"), .needs = LIMITED, .given = "truncate -s 128M"
     " out.setup && cat r.rpl >>out.setup", .run = "(ulimit -v 65536; tarvix -s out.setup r.rpl)",
     .err = IS_A_REPLAY},
    {ROW("a_read_only_replay"), .files = {{"out.setup", SAMPLE}}, .needs = NOBODY,
     .given = "chmod 444 out.setup", .run = "as_user tarvix -s out.setup r.rpl",
     .err = IS_A_REPLAY},
    // ... and any file named *.rpl in any letter case, by the name given (even where it cannot
    // be read) or by the name the system tells for the file opened.
    {ROW("a_glob_s_RPL_without_a_setup_block"), .given = "head -c 5000 /dev/zero >A.RPL",
     .run = "tarvix -s A.RPL r.rpl", .err = refused("A.RPL", "is a replay file")},
    {ROW("a_replay_by_the_name_given_even_unreadable"), .files = {{"c.rpl", ""}},
     .needs = NOBODY, .given = "chmod 0 c.rpl", .run = "as_user tarvix -s c.rpl r.rpl",
     .err = refused("c.rpl", "is a replay file")},
    {ROW("a_link_named_rpl_to_a_file_named_otherwise"), .files = OLD,
     .given = "ln -s out.setup L.rpl", .run = "tarvix -s L.rpl r.rpl",
     .err = refused("L.rpl", "is a replay file")},
    {ROW("a_link_to_a_file_named_rpl"), .files = {{"A.rpl", ""}}, .given = "ln -s A.rpl out.setup",
     .err = IS_A_REPLAY},
    {ROW("a_replay_by_a_name_removed_while_open"), .files = {{"A.rpl", ""}},
     .needs = "need /proc/self/fd && " NOT_WINE("Wine\\'s server opens /proc/self, not Tarvix"),
     .given = "ln A.rpl D.rpl && exec 7<D.rpl && rm D.rpl",
     .run = "tarvix -s /proc/self/fd/7 r.rpl", .err = refused("/proc/self/fd/7", "is a replay file")},
    {ROW("a_hard_link_goes_by_the_name_given"), .files = {{"out.setup", SAMPLE.substr(0, 300)}},
     .given = "ln out.setup A.rpl", .out = WRITTEN,
     .changes = {{"out.setup", SAMPLE_SETUP}, {"A.rpl", SAMPLE_SETUP}}},

    // What cannot be judged is not written.
    {ROW("2_GiB_are_too_large_to_read"), .needs = "need truncate",
     .given = "cp r.rpl out.setup && truncate -s 2G out.setup",
     .err = cannotTell("out.setup", "File too large")},
    {ROW("an_unreadable_file"), .files = OLD, .needs = NOBODY, .given = "chmod 222 out.setup",
     .run = "as_user tarvix -s out.setup r.rpl",
     .err = cannotTell("out.setup", "Permission denied")},
    {ROW("a_folder_closed_to_its_user"), .needs = NOBODY, .given = "mkdir p && chmod 0 p",
     .run = "as_user tarvix -s p/x r.rpl", .err = cannotTell("p/x", "Permission denied")},
    {ROW("a_read_error_while_judging"), .needs = READ_FAILS,
     .given = "ln -s /sys/class/net/lo/speed s", .run = "tarvix -s s r.rpl",
     .err = cannotTell("s", "Invalid argument")},
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

INSTANTIATE_TEST_SUITE_P(SetupRows, Cli, ::testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace tarvix::testing
