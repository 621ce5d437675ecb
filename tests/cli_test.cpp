// Black-box tests: the built binary, its standard output, standard error, exit status and files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "replay_builder.h"
#include "run_tarvix.h"

namespace tarvix::testing {
namespace {

const std::string BANNER = "Tarvix v1.0 (C) the Tarvix authors, https://tarvix.example.org/\n";
const std::string USAGE = "Usage: Tarvix [-s <setup file>] <replay file>\n";
const std::string HEADER =  // the first three lines for a replay built with the defaults
    "Profile name: Driver1\nMap nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
const std::string SAMPLE_SUMMARY =
    HEADER + "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
const std::string NO_SETUP = HEADER + "Car setup not found\n";

std::string missing(const std::string& path)
{
    return "Error reading file " + path + ": No such file or directory\n";
}

TEST(Cli, MessagesStreamsAndStatus)
{
    struct Case {
        std::vector<std::string> args;
        std::string out;  // after the banner
        std::string err;
        int status;
    };
    const Case cases[] = {
        {{}, USAGE, "", 1},
        {{"-h"}, USAGE, "", 1},
        {{"-h", "replay.rpl"}, USAGE, "", 1},
        {{"-H"}, "", missing("-H"), 5},
        {{"replay.rpl", "-h"}, "", missing("-h"), 5},
        {{"--help"}, "", missing("--help"), 5},
        {{""}, "", missing(""), 5},
        {{"folder"}, "", "Error reading file folder: Is a directory\n", 5},
        {{"-s", "out.setup"}, "", "No replay file name specified\n", 0},
        {{"replay.rpl", "-s"}, SAMPLE_SUMMARY, "", 0},
        {{"other.rpl", "replay.rpl"}, SAMPLE_SUMMARY, "", 0},
        {{"replay.rpl", "-s", "none/x"},
         SAMPLE_SUMMARY,
         "Could not open file none/x: No such file or directory\n",
         0},
        {{"empty.rpl"}, "", "Not a replay file\n", 0},
        {{"64.rpl"}, "", "Not a replay file\n", 0},
        {{"2GiB.rpl"}, "", "Not a replay file\n", 0},
        {{"65.rpl"}, NO_SETUP, "", 0},
        {{"names.rpl"},
         "Profile name: ABCDEFGHIJKLMNOP\nMap nr.     : 50 (Sipirkakim II )\n"
         "Car slot    : 7 (Subaru Impreza 2000)\nCar setup not found\n",
         "",
         0},
        {{"unknown.rpl"},
         "Profile name: Driver1\nMap nr.     : -1 (Custom)\nCar slot    : 8 (Unknown)\n"
         "Car setup not found\n",
         "",
         0},
        {{"early-marker.rpl"}, NO_SETUP, "", 0},
        {{"bare-length.rpl"},
         HEADER + "Checkpoint 1: 1:15.13\nCheckpoint 2: 0:-1.13\nStage time  : 0:60.00\n",
         "",
         0},
    };
    const ScratchDir dir;
    writeFile(dir / "replay.rpl", sampleReplay());
    writeFile(dir / "other.rpl", ReplayBuilder().profile("Other").bytes());
    writeFile(dir / "empty.rpl", Bytes());
    writeFile(dir / "64.rpl", ReplayBuilder(64).bytes());
    writeFile(dir / "2GiB.rpl", sampleReplay());
    std::filesystem::resize_file(dir / "2GiB.rpl", 2147483648U);  // sparse
    writeFile(dir / "65.rpl", ReplayBuilder(65).bytes());
    writeFile(dir / "names.rpl",
              ReplayBuilder().profile("ABCDEFGHIJKLMNOP").map(50).car(7).bytes());
    writeFile(dir / "unknown.rpl", ReplayBuilder().map(-1).car(8).bytes());
    // The first aligned marker decides, even when the times before it are not in the file.
    writeFile(dir / "early-marker.rpl",
              ReplayBuilder().marker(20).setupBlock(96, 1, 2, 3, {}).bytes());
    writeFile(dir / "bare-length.rpl",
              ReplayBuilder(104).setupBlock(96, 75.125F, -1.125F, 59.996F, {}).bytes());
    std::filesystem::create_directory(dir / "folder");
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const RunResult result = runTarvix(dir, c.args);
        EXPECT_EQ(result.out, BANNER + c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
    }
}

TEST(Cli, LostStandardOutputIsAFailure)
{
    const ScratchDir dir;
    writeFile(dir / "replay.rpl", sampleReplay());
    writeFile(dir / "64.rpl", ReplayBuilder(64).bytes());
    const std::string lost = "Error writing standard output: No space left on device\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"replay.rpl"}, lost},
        {{}, lost},
        {{"64.rpl"}, "Not a replay file\n" + lost},
        {{"missing.rpl"}, missing("missing.rpl") + lost},
    };
    for (const auto& [args, err] : cases) {
        const RunResult result = runTarvix(dir, args, "/dev/full");
        EXPECT_EQ(result.err, err);
        EXPECT_EQ(result.status, 5);
    }
}

#ifndef TARVIX_SANITIZED  // the sanitizers' shadow memory does not fit an address-space limit
TEST(Cli, AllocationFailureIsNoReadError)
{
    if (std::getenv("TARVIX_TEST_WRAPPER") != nullptr) {
        GTEST_SKIP() << "a wrapper such as valgrind needs more address space than the limit";
    }
    const ScratchDir dir;
    writeFile(dir / "big.rpl", sampleReplay());
    std::filesystem::resize_file(dir / "big.rpl", 1073741824U);
    const RunResult result = runShell(dir, "ulimit -v 200000 && tarvix big.rpl");
    EXPECT_EQ(result.out, BANNER);
    EXPECT_EQ(result.err, "Error allocating 1073741824 bytes of memory\n");
    EXPECT_EQ(result.status, 0);
}
#endif

TEST(Cli, SetupExport)
{
    const Bytes sample = sampleReplay();
    const Bytes sampleSetup(sample.begin() + 368, sample.begin() + 468);  // less its zero padding
    const Bytes old(1000, 0xAA);
    const std::string times =
        "Checkpoint 1: 0:01.00\nCheckpoint 2: 0:02.00\nStage time  : 0:03.00\n";
    const auto claiming = [](std::uint32_t length) {  // three setup bytes, then the end
        return ReplayBuilder(107).setupBlock(96, 1, 2, 3, {1, 2, 3}).u32(100, length).bytes();
    };
    struct Case {
        Bytes replay;
        std::vector<std::string> args;  // run where replay.rpl is and out.setup holds `old`
        std::string out, err;
        Bytes setup;  // out.setup afterwards
    };
    const Case cases[] = {
        {sample,
         {"-s", "out.setup", "replay.rpl"},
         SAMPLE_SUMMARY + "Setup written to out.setup\n",
         "",
         sampleSetup},
        {sample,
         {"replay.rpl", "-S", "x", "-S", "out.setup"},
         SAMPLE_SUMMARY + "Setup written to out.setup\n",
         "",
         sampleSetup},
        {claiming(3),
         {"-s", "out.setup", "replay.rpl"},
         HEADER + times + "Setup written to out.setup\n",
         "",
         {1, 2, 3}},
        {claiming(50000),
         {"-s", "out.setup", "replay.rpl"},
         HEADER + times + "Car setup too large (50000 bytes)\n",
         "",
         old},
        {claiming(4),
         {"-s", "out.setup", "replay.rpl"},
         HEADER + times,
         "Car setup truncated (3 of 4 bytes present)\n",
         old},
        {ReplayBuilder().bytes(), {"-s", "out.setup", "replay.rpl"}, NO_SETUP, "", old},
        {sample,
         {"-s", "", "replay.rpl"},
         SAMPLE_SUMMARY,
         "Could not open file : No such file or directory\n",
         old},
        {sample,
         {"-s", "/dev/full", "replay.rpl"},
         SAMPLE_SUMMARY,
         "Error writing file /dev/full: No space left on device\n",
         old},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ScratchDir dir;
        writeFile(dir / "replay.rpl", c.replay);
        writeFile(dir / "out.setup", old);
        const RunResult result = runTarvix(dir, c.args);
        EXPECT_EQ(result.out, BANNER + c.out);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(readFile(dir / "out.setup"), c.setup);
    }
}

// Failure lines follow the summary lines before them, also when both streams share one file.
TEST(Cli, MessagesKeepTheirOrderInOneStream)
{
    const ScratchDir dir;
    writeFile(dir / "replay.rpl",
              ReplayBuilder(104).setupBlock(96, 1, 2, 3, {}).u32(100, 1).bytes());
    const RunResult result = runShell(dir, "tarvix -s out.setup replay.rpl 2>&1");
    EXPECT_EQ(result.out,
              BANNER + HEADER +
                  "Checkpoint 1: 0:01.00\nCheckpoint 2: 0:02.00\nStage time  : 0:03.00\n"
                  "Car setup truncated (0 of 1 bytes present)\n");
}

// A setup path that names the replay, by any route, leaves the replay as it was.
TEST(Cli, SetupNeverOverwritesTheReplay)
{
    const ScratchDir dir;
    writeFile(dir / "replay.rpl", sampleReplay());
    std::filesystem::create_hard_link(dir / "replay.rpl", dir / "hard.rpl");
    std::filesystem::create_symlink("replay.rpl", dir / "soft.rpl");
    for (const std::string setupPath : {"replay.rpl", "./replay.rpl", "hard.rpl", "soft.rpl"}) {
        const RunResult result = runTarvix(dir, {"-s", setupPath, "replay.rpl"});
        EXPECT_EQ(result.out, BANNER + SAMPLE_SUMMARY);
        EXPECT_EQ(result.err, "Setup not written: " + setupPath + " is the replay file\n");
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(readFile(dir / "replay.rpl"), sampleReplay());
    }
}

TEST(Sample, ShippedSampleIsTheBuildersAndSummarises)
{
    EXPECT_EQ(readFile(TARVIX_SAMPLE), sampleReplay())
        << "regenerate with: build/tests/tarvix_write_replays samples/sample.rpl";
    const ScratchDir dir;
    const RunResult result = runTarvix(dir, {TARVIX_SAMPLE});
    EXPECT_EQ(result.out, BANNER + SAMPLE_SUMMARY);
    EXPECT_EQ(result.status, 0);
}

}  // namespace
}  // namespace tarvix::testing
