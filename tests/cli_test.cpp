// Black-box tests: the built binary, its standard output, standard error, exit status and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "replay_builder.h"
#include "run_tarvix.h"

namespace tarvix::testing {
namespace {

const std::string BANNER = "Tarvix v1.0 (C) the Tarvix authors, https://tarvix.example.org/\n";
const std::string USAGE = "Usage: Tarvix [-s <setup file>] <replay file>\n";
const std::string SAMPLE_SUMMARY =
    "Profile name: Driver1\n"
    "Map nr.     : 71 (Rally School Stage)\n"
    "Car slot    : 4 (Peugeot 206)\n"
    "Checkpoint 1: 0:30.50\n"
    "Checkpoint 2: 1:01.25\n"
    "Stage time  : 1:35.00\n";
const std::string HEADER_LINES =  // the first three lines of a replay built with the defaults
    "Profile name: Driver1\n"
    "Map nr.     : 71 (Rally School Stage)\n"
    "Car slot    : 4 (Peugeot 206)\n";

struct CliCase {
    const char* what;
    std::vector<std::string> args;
    std::string out;  // after the banner
    std::string err;
    int status;
};

// Files every case can see: a well-formed replay and a few malformed ones.
void writeReplays(const ScratchDir& dir)
{
    writeFile(dir / "replay.rpl", sampleReplay());
    writeFile(dir / "other.rpl", ReplayBuilder().profile("Other").bytes());
    writeFile(dir / "64.rpl", ReplayBuilder(64).bytes());
    writeFile(dir / "65.rpl", ReplayBuilder(65).bytes());
    writeFile(dir / "empty.rpl", Bytes());
    writeFile(dir / "names.rpl",
              ReplayBuilder().profile("ABCDEFGHIJKLMNOP").map(50).car(7).bytes());
    writeFile(dir / "unknown.rpl", ReplayBuilder().map(99).car(-1).bytes());
    writeFile(dir / "negative.rpl", ReplayBuilder().map(-1).car(8).bytes());
    writeFile(dir / "early-marker.rpl",
              ReplayBuilder().profile("abcdPTSC").setupBlock(96, 1, 2, 3, {1}).bytes());
    writeFile(dir / "last-word.rpl", ReplayBuilder(100).f32(72, 1).marker(96).bytes());
    writeFile(dir / "cut-length.rpl", ReplayBuilder(102).f32(72, 1).marker(96).bytes());
    writeFile(dir / "bare-length.rpl",
              ReplayBuilder().setupBlock(96, 75.125F, -1.125F, 59.996F, {}).bytes());
    std::filesystem::create_directory(dir / "folder");
}

TEST(Cli, MessagesStreamsAndStatus)
{
    const CliCase cases[] = {
        {"no argument", {}, USAGE, "", 1},
        {"help", {"-h"}, USAGE, "", 1},
        {"help with more", {"-h", "replay.rpl"}, USAGE, "", 1},
        {"upper-case -H is a path",
         {"-H"},
         "",
         "Error reading file -H: No such file or directory\n",
         5},
        {"-h later is a path",
         {"replay.rpl", "-h"},
         "",
         "Error reading file -h: No such file or directory\n",
         5},
        {"other dash words are paths",
         {"--help"},
         "",
         "Error reading file --help: No such file or directory\n",
         5},
        {"empty path", {""}, "", "Error reading file : No such file or directory\n", 5},
        {"missing file",
         {"missing.rpl"},
         "",
         "Error reading file missing.rpl: No such file or directory\n",
         5},
        {"directory", {"folder"}, "", "Error reading file folder: Is a directory\n", 5},
        {"setup path only", {"-s", "out.setup"}, "", "No replay file name specified\n", 0},
        {"trailing -s ignored", {"replay.rpl", "-s"}, SAMPLE_SUMMARY, "", 0},
        {"-s value is not the replay", {"replay.rpl", "-s", "other.rpl"}, SAMPLE_SUMMARY, "", 0},
        {"last plain argument wins", {"other.rpl", "replay.rpl"}, SAMPLE_SUMMARY, "", 0},
        {"sample", {"replay.rpl"}, SAMPLE_SUMMARY, "", 0},
        {"empty file", {"empty.rpl"}, "", "Not a replay file\n", 0},
        {"64 bytes", {"64.rpl"}, "", "Not a replay file\n", 0},
        {"65 bytes", {"65.rpl"}, HEADER_LINES + "Car setup not found\n", "", 0},
        {"names",
         {"names.rpl"},
         "Profile name: ABCDEFGHIJKLMNOP\nMap nr.     : 50 (Sipirkakim II )\n"
         "Car slot    : 7 (Subaru Impreza 2000)\nCar setup not found\n",
         "",
         0},
        {"unknown numbers",
         {"unknown.rpl"},
         "Profile name: Driver1\nMap nr.     : 99 (Custom)\nCar slot    : -1 (Unknown)\n"
         "Car setup not found\n",
         "",
         0},
        {"negative map",
         {"negative.rpl"},
         "Profile name: Driver1\nMap nr.     : -1 (Custom)\nCar slot    : 8 (Unknown)\n"
         "Car setup not found\n",
         "",
         0},
        {"first marker before offset 24",
         {"early-marker.rpl"},
         "Profile name: abcdPTSC\nMap nr.     : 71 (Rally School Stage)\n"
         "Car slot    : 4 (Peugeot 206)\nCar setup not found\n",
         "",
         0},
        {"marker in the last word",
         {"last-word.rpl"},
         HEADER_LINES + "Car setup not found\n",
         "",
         0},
        {"length field cut", {"cut-length.rpl"}, HEADER_LINES + "Car setup not found\n", "", 0},
        {"length field ends the file",
         {"bare-length.rpl"},
         HEADER_LINES + "Checkpoint 1: 1:15.13\nCheckpoint 2: 0:-1.13\nStage time  : 0:60.00\n",
         "",
         0},
    };
    const ScratchDir dir;
    writeReplays(dir);
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult result = runTarvix(dir, c.args);
        EXPECT_EQ(result.out, BANNER + c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
    }
}

TEST(Cli, LostStandardOutputIsAFailure)
{
    const ScratchDir dir;
    writeReplays(dir);
    const std::vector<std::string> runs[] = {{"replay.rpl"}, {}, {"64.rpl"}, {"missing.rpl"}};
    for (const auto& args : runs) {
        SCOPED_TRACE(args.empty() ? "usage" : args[0]);
        const RunResult result = runTarvix(dir, args, "/dev/full");
        EXPECT_EQ(result.status, 5);
        EXPECT_NE(result.err.find("Error writing standard output: No space left on device\n"),
                  std::string::npos)
            << result.err;
    }
}

// Sizes that do not fit the 32-bit size of every message are no replay; nothing is allocated.
TEST(Cli, FilesOf2GiBAreRefused)
{
    const ScratchDir dir;
    writeFile(dir / "huge.rpl", sampleReplay());
    std::filesystem::resize_file(dir / "huge.rpl", 2147483648U);
    const RunResult result = runTarvix(dir, {"huge.rpl"});
    EXPECT_EQ(result.out, BANNER);
    EXPECT_EQ(result.err, "Not a replay file\n");
    EXPECT_EQ(result.status, 0);
}

#ifndef TARVIX_SANITIZED  // the sanitizers' shadow memory does not run under an address-space limit
TEST(Cli, AllocationFailureIsNoReadError)
{
    const ScratchDir dir;
    writeFile(dir / "big.rpl", sampleReplay());
    std::filesystem::resize_file(dir / "big.rpl", 1073741824U);
    const RunResult result = runShell(dir, "ulimit -v 200000 && exec \"$TARVIX\" big.rpl");
    EXPECT_EQ(result.out, BANNER);
    EXPECT_EQ(result.err, "Error allocating 1073741824 bytes of memory\n");
    EXPECT_EQ(result.status, 0);
}
#endif

TEST(Sample, ShippedSampleIsTheBuildersAndSummarises)
{
    EXPECT_EQ(readFile(TARVIX_SAMPLE), sampleReplay())
        << "regenerate with: build/tests/tarvix_write_sample samples/sample.rpl";
    const ScratchDir dir;
    const RunResult result = runTarvix(dir, {TARVIX_SAMPLE});
    EXPECT_EQ(result.out, BANNER + SAMPLE_SUMMARY);
    EXPECT_EQ(result.status, 0);
}

}  // namespace
}  // namespace tarvix::testing
