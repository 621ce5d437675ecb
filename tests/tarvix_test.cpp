// The suite: unit tables over built images (the layout, the names, the times, what terminals are
// shown, devices as setup files); then the built binary, one named row per behaviour: what is
// there before (r.rpl, the files named, what `given` makes), the one run of Tarvix, what it
// printed and what it left on disk. The runner, below the rows, gives each a folder of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "replay/replay_summary.h"
#include "setup/setup_target.h"
#include "terminal.h"

namespace tarvix::testing {
namespace {

using namespace std::literals;

using Bytes = std::string;  // any bytes, zeros included

// A synthetic replay: filler, with Driver1 on map 71 in car slot 4. The offsets are written out
// here, apart from the reader's, so that a wrong offset there cannot hide in both places.
struct Replay {
    Bytes bytes;

    explicit Replay(std::size_t size = 128) : bytes(size, '\xAA')
    {
        name("Driver1").u32(28, 71).u32(32, 4);
    }
    Replay& raw(std::size_t at, std::string_view field)  // grows the image to fit
    {
        bytes.resize(std::max(bytes.size(), at + field.size()));
        bytes.replace(at, field.size(), field);
        return *this;
    }
    Replay& u32(std::size_t at, std::uint32_t v)
    {
        return raw(at, Bytes{char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
    }
    Replay& name(std::string_view text)  // over 16 bytes: 16 - size wraps, append throws
    {
        return raw(12, Bytes(text).append(16 - text.size(), 0));
    }
    // The setup block at m: the three times before it, the marker, the length and the setup.
    Replay& block(std::size_t m, float t1, float t2, float t3, std::string_view setup)
    {
        u32(m - 24, std::bit_cast<std::uint32_t>(t1)).u32(m - 20, std::bit_cast<std::uint32_t>(t2));
        u32(m - 16, std::bit_cast<std::uint32_t>(t3)).raw(m, "PTSC").u32(m + 4, setup.size());
        return raw(m + 8, setup);
    }
};

// samples/sample.rpl. Its setup is padded with zero bytes, which the export drops.
const Bytes SAMPLE_SETUP("\x01\x7f\0 sample setup\xff", 17);
const Bytes SAMPLE = Replay(512).block(360, 30.5, 61.25, 95, SAMPLE_SETUP + Bytes(20, 0)).bytes;

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

ReplayImage image(const Bytes& bytes, std::size_t size)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), size};
}

// Random images of the marker's letters, reaching past the image's end: the plainest loop's answer.
TEST(Layout, MarkerSearchAgreesWithAPlainLoop)
{
    std::mt19937 random(7);
    for (int n = 0; n < 20000; ++n) {
        Bytes bytes(random() % 1100 + 4, 0);
        std::generate(bytes.begin(), bytes.end(), [&random] { return "PTSC"[random() % 4]; });
        std::optional<std::size_t> first;
        for (std::size_t at = 0; at + 8 <= bytes.size() && !first; at += 4) {
            first = bytes.compare(at, 4, "PTSC") == 0 ? std::optional(at) : std::nullopt;
        }
        ASSERT_EQ(findSetupMarker(image(bytes, bytes.size() - 4), SETUP_MARKER), first) << bytes;
    }
}

// The times need m >= 24, the setup length m + 8 <= size; a name ends at its first zero byte.
// And the sample is the builder's.
TEST(Layout, FieldsStayInside)
{
    const Bytes bytes = Replay(100).name("\0Driver1"sv).bytes;
    for (const std::size_t m : {std::size_t{0}, std::size_t{20}, std::size_t{93}, SIZE_MAX - 3}) {
        EXPECT_FALSE(readSetupBlock(image(bytes, 100), m)) << m;
    }
    EXPECT_TRUE(readSetupBlock(image(bytes, 100), 24) && readSetupBlock(image(bytes, 100), 92));
    EXPECT_EQ(profileName(image(bytes, 100)), "");
    EXPECT_EQ(readFile(TARVIX_SAMPLE), SAMPLE);
}

// Every stage and car name and the fallbacks around them, against a digest of the tables.
TEST(Names, TablesAsPublished)
{
    std::uint64_t digest = 14695981039346656037U;  // FNV-1a
    for (std::int32_t n = -2; n < 80; ++n) {
        for (const char c :
             std::to_string(n) + "=" + mapEntryForNumber(n).name + "/" + carNameForSlot(n) + ";") {
            digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211U;
        }
    }
    EXPECT_EQ(digest, 18104551416762721648U);
}

// Exact halves round away from zero; the minutes are fixed before the seconds round.
TEST(Times, Formatting)
{
    // clang-format off
    const std::pair<float, const char*> cases[] = {
        {0, "0:00.00"}, {5.25, "0:05.25"}, {3605, "60:05.00"}, {-61, "-1:-1.00"},
        {75.125, "1:15.13"}, {-1.125, "0:-1.13"}, {59.996F, "0:60.00"}, {119.999F, "1:60.00"},
        {2147483648.0F, "35791394:08.00"}, {-2147483648.0F, "-35791394:-8.00"}, {INFINITY, "inf"},
        {-INFINITY, "-inf"}, {NAN, "nan"}, {-NAN, "nan"}, {-0.0F, "0:-0.00"},
        {FLT_MAX, "5671372443975480996861736391408615424:00.00"}};
    // clang-format on
    for (const auto& [seconds, text] : cases) {
        EXPECT_STREQ(formatRaceTime(seconds).c_str(), text) << seconds;
    }
}

// Controls as '?' (one for a C1 control in UTF-8), other characters as they are: as bytes on a
// terminal, as characters on a Windows console, from the ANSI code page (Latin-1 here) if no UTF-8.
TEST(Terminal, ControlsShownAsQuestionMarks)
{
    const auto latin1 = [](std::string_view bytes) {
        std::u16string text;
        for (const char byte : bytes) {
            text += static_cast<unsigned char>(byte);
        }
        return text;
    };
    // clang-format off
    const std::tuple<Bytes, Bytes, std::u16string> cases[] = {
        {"\x1f ~\x7f\x80\x9f\xa0\xff\n", "? ~???\xa0\xff?", u"? ~???\u00a0ÿ?"},
        {"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0", u"??\u00a0"}, {"ÍÍÍ", "ÍÍÍ", u"ÍÍÍ"},
        {"Пётр \xf0\x9f\x98\x80", "Пётр \xf0\x9f\x98\x80", u"Пётр \U0001F600"},
        {"\xc0\x80\xe0\x80\x80\xed\xa0\x80\xf4\x90\x80\x80", "\xc0?\xe0??\xed\xa0?\xf4???",
         u"À?à??í\u00a0?ô???"},
        {"\xe2\x80", "\xe2?", u"â?"}, {"\xc2", "\xc2", u"Â"}, {"J\xf6rg", "J\xf6rg", u"Jörg"}};
    // clang-format on
    for (const auto& [text, masked, console] : cases) {
        EXPECT_EQ(maskControls(text), masked) << text;
        EXPECT_TRUE(consoleText(text, false, latin1) == console) << text;
    }
    EXPECT_TRUE(consoleText("\x1b]0\n", true, latin1) == u"?]0\r\n");  // a line's end kept
}

const Bytes BANNER =
    "Tarvix v" TARVIX_VERSION " (C) the Tarvix authors, https://tarvix.example.org/\n";
const Bytes MAP_AND_CAR = "Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
const Bytes TIMES = "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
const Bytes SUMMARY = BANNER + "Profile name: Driver1\n" + MAP_AND_CAR + TIMES;

// Where a row stands, so that a failure names the row's line.
#define ROW(title) .line = __LINE__, .name = title

struct Row {
    int line;
    const char* name;
    Bytes replay = SAMPLE;                 // r.rpl
    std::map<std::string, Bytes> files{};  // other files, written before `given`
    const char* given = "";                // shell: the rest of what is there before
    const char* run = "tarvix -s out.setup r.rpl";
    Bytes out = SUMMARY, err{};  // line ends as \n
    int status = 0;
    // What the run leaves changed: a file's new contents, or none where it is not looked at.
    // Every other file must be left as it was: none created, emptied or touched.
    std::map<std::string, std::optional<Bytes>> changes{};
};

const Bytes USAGE = BANNER + "Usage: Tarvix [-s <setup file>] <replay file>\n";
const Bytes NOT_FOUND = MAP_AND_CAR + "Car setup not found\n";
const Bytes DRIVER1 = BANNER + "Profile name: Driver1\n";
const std::map<std::string, std::optional<Bytes>> SETUP = {{"out.setup", SAMPLE_SETUP}};
const std::map<std::string, Bytes> OLD = {{"out.setup", Bytes(100, 'o')}};  // read, and longer
// 16 bytes that clear a terminal, with UTF-8 (a C1 control, Ё) and bytes of a Windows code page.
const Bytes HOSTILE_NAME = "\x1b[2J\r\x7f\xc2\x9b\x9b\xd0\x81\xa0\xff ~A";
const Bytes HOSTILE = Bytes(SAMPLE).replace(12, 16, HOSTILE_NAME);
const Bytes ESCAPES = "\x1b]0;X\a\x1b[31m";  // a file name that retitles the window, as $N
#define NOBODY "unprivileged && not_under wine Wine keeps a prefix per user"
#define LIMITED "unwrapped a limit on memory needs the plain binary && need truncate"
#define READ_FAILS                                                               \
    "f=/sys/class/net/lo/speed && need $f && not_under wine Wine reads /sys its" \
    " own way && ! cat $f >/dev/null 2>&1 || skip needs a file whose read fails; ln -s $f s"
#define HOLDS_STREAMS "not_under valgrind valgrind needs them && not_under wine Wine needs them"
#define ON_A_TERMINAL                                                                  \
    "need script && not_under wine Wine\\'s console rewrites what it shows && export " \
    "N=$(printf '\\033]0;X\\007\\033[31m')"
#define LOOP_OVER(file, link)                                                         \
    "not_under wine Windows has no block devices && need losetup && { L=$(losetup -f" \
    " --show " file " 2>/dev/null) || skip no loop device here; } && ln -s $L " link

// clang-format off
void PrintTo(const Row& row, std::ostream* os) { *os << row.run; }  // gtest shows a row by its run
// The sample's times, then `setup` to the end of the file, which claims `length` bytes.
Bytes sampleWithSetup(std::string_view setup, std::uint32_t length)
{ return Replay(104).block(96, 30.5, 61.25, 95, setup).u32(100, length).bytes; }
// The messages, for a file named f.
Bytes written(const Bytes& f) { return SUMMARY + "Setup written to " + f + "\n"; }
Bytes refused(const Bytes& f, const Bytes& w) { return "Setup not written: " + f + " " + w + "\n"; }
Bytes cannotTell(const Bytes& f, const char* why)
{ return refused("cannot tell whether " + f, "is a replay: "s + why); }
Bytes intoReplay(const char* stream, const Bytes& f)
{ return "Error writing standard "s + stream + ": " + f + " is the replay file\n"; }
const Bytes IS_A_REPLAY = refused("out.setup", "is a replay file"), WRITTEN = written("out.setup");

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
    {ROW("a_fifo_is_not_waited_for"), .given = "mkfifo f && not_under wine Windows has no FIFO",
     .run = "tarvix f", .out = BANNER, .err = "Error reading file f: Illegal seek\n", .status = 5},
    {ROW("a_read_that_comes_up_short"), .given = "need /sys/class/net/lo/type && not_under wine"
     " Wine reads /sys its own way", .run = "tarvix /sys/class/net/lo/type", .out = BANNER,
     .err = "Unexpected number of bytes read: 4 (expected: 4096)\n"},
    {ROW("a_read_that_fails"), .given = READ_FAILS, .run = "tarvix s", .out = BANNER,
     .err = "Unexpected number of bytes read: 0 (expected: 4096)\nError reading file s: Invalid"
     " argument\n", .status = 5},
    {ROW("no_memory_for_the_replay"), .given = LIMITED " && truncate -s 2147483647 big",
     .run = "(ulimit -v 65536; tarvix big)", .out = BANNER,
     .err = "Error allocating 2147483647 bytes of memory\n"},

    // The standard streams: one lost, or closed by the caller and held meanwhile, so that no
    // file opened takes its descriptor and the messages meant for it.
    {ROW("standard_output_closed"), .given = "not_under wine Wine needs it",
     .run = "tarvix -s r.rpl r.rpl >&-", .out = "", .err = refused("r.rpl", "is the replay file") +
     "Error writing standard output: Bad file descriptor\n", .status = 5},
    {ROW("standard_error_closed"), .given = HOLDS_STREAMS, .run = "tarvix -s r.rpl r.rpl 2>&-"},
    {ROW("standard_input_closed"), .given = HOLDS_STREAMS, .run = "tarvix -s r.rpl r.rpl <&- 2>&-"},
    // A stream that writes into the replay, by any name or link, gets nothing more.
    {ROW("output_appended_to_the_replay"), .run = "tarvix r.rpl >>r.rpl", .out = "",
     .err = intoReplay("output", "r.rpl"), .status = 5},
    {ROW("errors_appended_to_the_replay"), .run = "tarvix -s r.rpl r.rpl 2>>r.rpl",
     .out = BANNER + intoReplay("error", "r.rpl"), .status = 5},
    {ROW("output_into_the_replay_by_a_link"), .given = "ln r.rpl h.dat && ln -s r.rpl s.dat",
     .run = "tarvix s.dat >>h.dat", .out = "", .err = intoReplay("output", "s.dat"), .status = 5},
    {ROW("errors_into_a_replay_this_user_may_not_read"), .given = NOBODY " && chmod 222 r.rpl",
     .run = "as_user tarvix r.rpl 2>>r.rpl", .out = BANNER + intoReplay("error", "r.rpl"),
     .status = 5},
    {ROW("output_into_a_block_device_over_the_replay"), .given = LOOP_OVER("r.rpl", "dev"),
     .run = "tarvix r.rpl >>dev; s=$?; losetup -d $L; (exit $s)", .out = "",
     .err = intoReplay("output", "r.rpl"), .status = 5},
    {ROW("output_into_the_file_behind_a_block_device"), .given = LOOP_OVER("r.rpl", "dev"),
     .run = "tarvix dev >>r.rpl; s=$?; losetup -d $L; (exit $s)", .out = "", .status = 5},
    {ROW("both_streams_over_the_replay"), .run = "tarvix r.rpl 1<>r.rpl 2>&1", .out = "",
     .status = 5},
    {ROW("the_setup_file_as_the_file_of_standard_output"), .run = "tarvix -s o r.rpl >o",
     .out = "", .err = refused("o", "is the standard output"), .changes = {{"o", {}}}},
    {ROW("the_setup_file_as_the_file_of_standard_error"), .given = "not_under wine Wine has no"
     " /dev/stderr", .run = "tarvix -s /dev/stderr r.rpl 2>>e",
     .changes = {{"e", refused("/dev/stderr", "is the standard error")}}},
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
    {ROW("no_setup_block_no_export"), .replay = Replay().bytes, .out = DRIVER1 + NOT_FOUND},

    // Names on a terminal, each stream on its own: the other stream gets the bytes.
    {ROW("names_masked_on_a_terminal_output"), .replay = HOSTILE, .given = ON_A_TERMINAL,
     .run = "on_a_terminal 'tarvix -s \"$N\" r.rpl'", .out = BANNER + "Profile name: ?[2J????"
     "\xd0\x81\xa0\xff ~A\n" + MAP_AND_CAR + TIMES + "Setup written to ?]0;X??[31m\n",
     .changes = {{ESCAPES, SAMPLE_SETUP}}},
    {ROW("names_masked_on_a_terminal_error"), .replay = HOSTILE,
     .given = ON_A_TERMINAL " && : >\"$N\"",
     .run = "on_a_terminal 'tarvix -s \"$N/x\" r.rpl >&3' 3>&2",
     .out = cannotTell("?]0;X??[31m/x", "Not a directory"),
     .err = BANNER + "Profile name: " + HOSTILE_NAME + "\n" + MAP_AND_CAR + TIMES},
    {ROW("a_setup_masked_on_a_terminal"), .replay = sampleWithSetup("\1\x7f\x1b[2J ё", 9),
     .given = "need script && T=/dev/tty && case $TARVIX_TEST_WRAPPER in *wine*) T=CON;; esac",
     .run = "on_a_terminal \"tarvix -s $T r.rpl >/dev/null\"", .out = "???[2J ё"},
    {ROW("a_utf8_profile_name_on_a_terminal"), .replay = Bytes(SAMPLE).replace(12, 8, "Пётр"),
     .given = "need script", .run = "on_a_terminal 'tarvix r.rpl'",
     .out = BANNER + "Profile name: Пётр\n" + MAP_AND_CAR + TIMES},
    {ROW("a_utf8_file_name_on_a_terminal"), .given = "need script",
     .run = "on_a_terminal 'tarvix нет.rpl'",
     .out = BANNER + "Error reading file нет.rpl: No such file or directory\n", .status = 5},
    {ROW("a_windows_1252_profile_name_on_a_console"), .replay = Bytes(SAMPLE).replace(12, 5,
     "J\xf6rg\0"sv), .given = "need script && only_under wine Linux gets the bytes",
     .run = "on_a_terminal 'tarvix r.rpl'",
     .out = BANNER + "Profile name: Jörg\n" + MAP_AND_CAR + TIMES},
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
    {ROW("a_full_disk_at_the_close"), .given = "need /dev/full", .run = "tarvix -s /dev/full r.rpl",
     .err = "Error writing file /dev/full: No space left on device\n"},
    {ROW("a_full_disk_at_the_write"), .replay = sampleWithSetup(Bytes(49999, 'x'), 49999),
     .given = "need /dev/full", .run = "tarvix -s /dev/full r.rpl",
     .err = "Unexpected number of bytes written: 0 (expected 49999)\n"},
    {ROW("a_link_to_nothing_is_not_followed"), .given = "ln -s nothing out.setup",
     .err = "Could not open file out.setup: File exists\n"},
    {ROW("a_directory_gets_the_open_error"), .given = "mkdir out.setup",
     .err = "Could not open file out.setup: Is a directory\n"},
    {ROW("a_read_only_file_gets_the_open_error"), .files = OLD, .given = NOBODY " && chmod 444"
     " out.setup", .run = "as_user tarvix -s out.setup r.rpl",
     .err = "Could not open file out.setup: Permission denied\n"},
    {ROW("a_fifo_waits_for_its_reader"), .given = "mkfifo p && not_under wine Windows has no"
     " FIFO", .run = "tarvix -s p r.rpl & sleep 1; timeout 60 cat p >got; wait $!",
     .out = written("p"), .changes = {{"got", SAMPLE_SETUP}}},

    // The replay, by any name, is no setup file.
    {ROW("the_replay_itself"), .run = "tarvix -s r.rpl r.rpl",
     .err = refused("r.rpl", "is the replay file")},
    {ROW("the_replay_by_a_hard_link"), .given = "ln r.rpl Тр.rpl && ln r.rpl Ссыл",
     .run = "tarvix -s Ссыл Тр.rpl", .err = refused("Ссыл", "is the replay file")},
    // Nor is another replay: any file with a setup block, whichever marker starts it...
    {ROW("a_marker_in_the_name_hides_the_block_from_the_summary_alone"),
     .files = {{"out.setup", Bytes(SAMPLE).replace(16, 4, "PTSC")}}, .err = IS_A_REPLAY},
    {ROW("a_setup_block_after_64_KiB"),
     .files = {{"out.setup", Replay(65600).block(65536, 1, 2, 3, "").bytes}}, .err = IS_A_REPLAY},
    {ROW("markers_without_room_for_a_block_make_no_replay"), .files = {{"out.setup",
     Replay(100).raw(20, "PTSC").raw(96, "PTSC").bytes}}, .out = WRITTEN, .changes = SETUP},
    {ROW("too_short_for_a_replay"),
     .files = {{"out.setup", Replay(64).block(24, 1, 2, 3, "").bytes}},
     .out = WRITTEN, .changes = SETUP},
    {ROW("2_GiB_are_not_read"), .given = "need truncate && cp r.rpl out.setup &&"
     " truncate -s 2G out.setup", .out = WRITTEN, .changes = SETUP},
    {ROW("a_replay_larger_than_the_memory"), .given = LIMITED " && truncate -s 128M out.setup &&"
     " cat r.rpl >>out.setup",
     .run = "(ulimit -v 65536; tarvix -s out.setup r.rpl)", .err = IS_A_REPLAY},
    {ROW("a_read_only_replay"), .files = {{"out.setup", SAMPLE}},
     .given = NOBODY " && chmod 444 out.setup", .run = "as_user tarvix -s out.setup r.rpl",
     .err = IS_A_REPLAY},
    // ... and any file named *.rpl in any letter case, by the name given (even where it cannot
    // be read) or by the name the system tells for the file opened.
    {ROW("a_glob_s_RPL_without_a_setup_block"), .given = "head -c 5000 /dev/zero >A.RPL",
     .run = "tarvix -s A.RPL r.rpl", .err = refused("A.RPL", "is a replay file")},
    {ROW("a_replay_by_the_name_given_even_unreadable"), .files = {{"c.rpl", ""}},
     .given = NOBODY " && chmod 0 c.rpl", .run = "as_user tarvix -s c.rpl r.rpl",
     .err = refused("c.rpl", "is a replay file")},
    {ROW("a_link_named_rpl_to_a_file_named_otherwise"), .files = OLD,
     .given = "ln -s out.setup L.rpl", .run = "tarvix -s L.rpl r.rpl",
     .err = refused("L.rpl", "is a replay file")},
    {ROW("a_link_to_a_file_named_rpl"), .files = {{"A.rpl", ""}}, .given = "ln -s A.rpl out.setup",
     .err = IS_A_REPLAY},
    {ROW("a_replay_by_a_name_removed_while_open"), .files = {{"A.rpl", ""}},
     .given = "need /proc/self/fd && not_under wine Wine\\'s server opens /proc/self, not Tarvix"
     " && ln A.rpl D.rpl && exec 7<D.rpl && rm D.rpl", .run = "tarvix -s /proc/self/fd/7 r.rpl",
     .err = refused("/proc/self/fd/7", "is a replay file")},
    {ROW("a_hard_link_goes_by_the_name_given"), .files = {{"out.setup", SAMPLE.substr(0, 300)}},
     .given = "ln out.setup A.rpl", .out = WRITTEN,
     .changes = {{"out.setup", SAMPLE_SETUP}, {"A.rpl", SAMPLE_SETUP}}},

    // What cannot be judged is not written.
    {ROW("an_unreadable_file"), .files = OLD, .given = NOBODY " && chmod 222 out.setup",
     .run = "as_user tarvix -s out.setup r.rpl",
     .err = cannotTell("out.setup", "Permission denied")},
    {ROW("a_folder_closed_to_its_user"), .given = NOBODY " && mkdir p && chmod 0 p",
     .run = "as_user tarvix -s p/x r.rpl", .err = cannotTell("p/x", "Permission denied")},
    {ROW("a_read_error_while_judging"), .given = READ_FAILS, .run = "tarvix -s s r.rpl",
     .err = cannotTell("s", "Invalid argument")},
    {ROW("names_the_system_cannot_tell"), .files = OLD, .given = "unwrapped the sanitizers and"
     " wrappers need /proc && { unshare -m true 2>/dev/null || skip needs a mount namespace; }",
     .run = "unshare -m bash -c 'umount -l /proc && tarvix -s out.setup r.rpl'",
     .err = cannotTell("out.setup", "No such file or directory")},
    {ROW("a_block_device_whatever_it_holds"),
     .given = "head -c 4096 /dev/zero >v.rpl && " LOOP_OVER("v.rpl", "out.setup"),
     .run = "tarvix -s out.setup r.rpl; losetup -d $L",
     .err = cannotTell("out.setup", "Operation not supported")},
    // Another process swaps links to a replay with a setup block and to a *.rpl without one.
    {ROW("names_swapped_while_tarvix_runs"), .given = "cp r.rpl victim && head -c 99 /dev/zero"
     " >v.rpl && : >h && { (until [ -e stop ]; do ln -sf victim out; ln -f h out; ln -f victim"
     " out; ln -sf h out; ln -sf v.rpl out; ln -f h out; done 2>/dev/null) & }",
     .run = "for _ in $(seq 300); do tarvix -s out r.rpl; [ $SECONDS -lt 5 ] || break; done"
     " >/dev/null 2>&1; : >stop", .out = "", .changes = {{"out", {}}, {"h", {}}, {"stop", {}}}},
};
// clang-format on

// A device goes by the device, by any node (made as root); one opened as another is not written.
TEST(SetupTarget, DevicesGoByTheDevice)
{
    const FileInfo null = describe("/dev/null").value, zero = describe("/dev/zero").value;
    struct stat info {};
    ASSERT_TRUE(null.id && zero.id && stat("/dev/null", &info) == 0);
    const std::string node = ::testing::TempDir() + "null-node";
    std::remove(node.c_str());
    for (const std::string& path : {"/dev/null"s, node}) {
        if (path == "/dev/null" || mknod(path.c_str(), S_IFCHR | 0600, info.st_rdev) == 0) {
            const auto judged = judgeSetupTarget(path.c_str(), null, {});
            EXPECT_EQ(std::get<Refusal>(judged).reason, Refusal::TheReplay) << path;
        }
    }
    std::remove(node.c_str());
    EXPECT_TRUE(openSetupFileOrReport("/dev/null", OpenWhenReady{null}));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(openSetupFileOrReport("/dev/null", OpenWhenReady{zero}));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              cannotTell("/dev/null", std::strerror(FILE_CHANGED)));
}

// The runner.

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Long enough for a row under valgrind or qemu, short enough that a row that hangs ends.
constexpr auto ROW_TIME = std::chrono::seconds(120);
constexpr int SKIPPED = 77, UNPREPARED = 90;

// What rows may call, then the row, with what is on disk before and after it once all it started
// has ended: each entry's kind, and a file's size and time of change, which any write changes.
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
listing() {  # but for the files the row expects to change
  { find . -mindepth 1 ! -name '.*' -type f -printf '%P\tf %s %TY-%Tm-%Td %TT\n'
    find . -mindepth 1 ! -name '.*' ! -type f -printf '%P\t%y %l\n'; } 2>/dev/null |
    awk -F '\t' -v changed="$TARVIX_ROW_CHANGES" \
      'BEGIN { split(changed, c, "\n"); for (i in c) k[c[i]] } !($1 in k)' | sort
}
eval "$TARVIX_ROW_GIVEN" >.given 2>&1 || exit 90
listing >.before
eval "$TARVIX_ROW_RUN" >.out 2>.err
status=$?
wait
listing >.after
chmod -R u+rwx .
exit $status
)sh";

// Waits for the shell `shell` and, until none is left, for every process of its group, which
// this process adopts as their parents end; past `deadline` kills them all, and gives false.
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

// A file's bytes; with `lines`, with the line ends of Windows and terminals as \n.
Bytes contents(const fs::path& file, bool lines = false)
{
    Bytes text = fs::is_regular_file(file) ? readFile(file) : "(no file)";
    for (std::size_t at = 0; lines && (at = text.find("\r\n")) != Bytes::npos;) {
        text.erase(at, 1);  // and a terminal's CR before Wine's CR LF
    }
    return text;
}

void runRow(const Row& row)
{
    const ::testing::ScopedTrace trace(__FILE__, row.line, row.name);  // a failure names the row
    prctl(PR_SET_CHILD_SUBREAPER, 1);  // so that the row's orphans are waited for here
    std::string name = (fs::temp_directory_path() / "tarvix-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    const fs::path folder = name;
    std::ofstream(folder / "r.rpl", std::ios::binary) << row.replay;
    for (const auto& [file, bytes] : row.files) {
        std::ofstream(folder / file, std::ios::binary) << bytes;
    }
    const pid_t shell = fork();
    if (shell == 0) {
        setpgid(0, 0);
        const int input = open("/dev/null", O_RDONLY);
        if (chdir(folder.c_str()) != 0 || input < 0 || dup2(input, STDIN_FILENO) < 0) {
            _exit(126);
        }
        setenv("TARVIX_ROW_GIVEN", row.given, 1);
        setenv("TARVIX_ROW_RUN", row.run, 1);
        std::string changes;
        for (const auto& [file, bytes] : row.changes) {
            changes += file + "\n";
        }
        setenv("TARVIX_ROW_CHANGES", changes.c_str(), 1);
        setenv("TARVIX_TEST_BINARY", TARVIX_BINARY, 0);  // unless the run names one, as Tarvix.exe
        setenv("TARVIX_TEST_SANITIZED", TARVIX_SANITIZED ? "1" : "", 1);
        execl("/bin/bash", "bash", "-c", SCRIPT, nullptr);
        _exit(127);
    }
    setpgid(shell, shell);
    int status = -1;
    const bool ended = awaitRow(shell, status, Clock::now() + ROW_TIME);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::map<std::string, Bytes> changed;
    for (const auto& [file, bytes] : row.changes) {
        changed[file] = contents(folder / file);
    }
    const Bytes given = contents(folder / ".given"), before = contents(folder / ".before");
    const Bytes out = contents(folder / ".out", true), err = contents(folder / ".err", true);
    const Bytes after = contents(folder / ".after");
    std::error_code error;
    fs::remove_all(folder, error);
    if (code == SKIPPED) {
        GTEST_SKIP() << given;
    }
    ASSERT_TRUE(ended) << "the row did not end, or left processes running, within "
                       << ROW_TIME.count() << " s: killed";
    ASSERT_NE(code, UNPREPARED) << "what is there before could not be made:\n" << given;
    EXPECT_EQ(out, row.out) << "standard output";
    EXPECT_EQ(err, row.err) << "standard error";
    EXPECT_EQ(code, row.status) << "exit status";
    for (const auto& [file, bytes] : row.changes) {
        EXPECT_TRUE(!bytes || changed[file] == *bytes)
            << file << " holds " << ::testing::PrintToString(changed[file]);
    }
    EXPECT_EQ(after, before) << "what is on disk, but for the files the row changes";
}

class Cli : public ::testing::TestWithParam<Row> {};

TEST_P(Cli, Runs)
{
    runRow(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Rows, Cli, ::testing::ValuesIn(rows),
                         [](const auto& row) { return row.param.name; });

}  // namespace
}  // namespace tarvix::testing
