// Tarvix: prints the summary of a replay file and, with -s, exports the car setup stored in it.
//
//   Tarvix [-s <setup file>] <replay file>
//
// Exit status: 1 after the usage line; 5 when opening, measuring or reading the replay failed,
// when standard output could not be written, or when a standard stream writes into a replay;
// 0 otherwise, whatever the summary reported.
#include <cstdio>
#include <cstring>
#include <optional>

#include "cli/replay_file.h"
#include "output_rule.h"
#include "replay/replay_summary.h"
#include "report.h"
#include "setup/setup_export.h"

namespace {

constexpr int STATUS_DONE = 0;
constexpr int STATUS_USAGE = 1;
constexpr int STATUS_IO_ERROR = 5;

struct Arguments {
    const char* replayPath = nullptr;  // the last argument that is not -s or its value
    const char* setupPath = nullptr;   // the value of the last -s that has one
};

bool isSetupOption(const char* argument)
{
    return argument[0] == '-' && (argument[1] == 's' || argument[1] == 'S') && argument[2] == '\0';
}

Arguments scanArguments(int argc, char** argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        if (isSetupOption(argv[i])) {
            if (i + 1 < argc) {
                arguments.setupPath = argv[++i];
            }
        } else {
            arguments.replayPath = argv[i];
        }
    }
    return arguments;
}

// How a run ended: its status, and whether standard error may still say that output was lost,
// which it may not where it writes into a replay.
struct Ending {
    int status;
    bool errorsShown = true;
};

Ending run(int argc, char** argv)
{
    const auto closed = tarvix::holdClosedStandardStreams();
    if (!closed) {
        return {STATUS_IO_ERROR, false};  // nowhere safe to say so
    }
    const bool usage = argc < 2 || std::strcmp(argv[1], "-h") == 0;
    const Arguments arguments = usage ? Arguments{} : scanArguments(argc, argv);
    // Before anything is printed, the standard streams are judged against the replay, as opened
    // or, where it cannot be, by its name: a stream that writes into a replay gets nothing.
    auto [replay, openError] = arguments.replayPath != nullptr
                                   ? tarvix::openReplay(arguments.replayPath)
                                   : tarvix::OrError<tarvix::OpenedReplay>{};
    const tarvix::Judging judging{.replay = replay.info,
                                  .streams = tarvix::describeStandardStreams(*closed)};
    const auto outRefused = tarvix::refusalToWrite(judging.streams.out, judging);
    const auto errRefused = tarvix::refusalToWrite(judging.streams.err, judging);
    if (!outRefused) {
        tarvix::report(stdout, "Tarvix v%s %s\n", TARVIX_VERSION,
                       "(C) the Tarvix authors, https://tarvix.example.org/");
    }
    if (outRefused || errRefused) {
        tarvix::reportStreamRefusals(arguments.replayPath, judging.streams, outRefused, errRefused);
        return {STATUS_IO_ERROR, !errRefused};
    }
    if (usage) {
        tarvix::report(stdout, "Usage: Tarvix [-s <setup file>] <replay file>\n");
        return {STATUS_USAGE};
    }
    if (arguments.replayPath == nullptr) {
        tarvix::reportError("No replay file name specified\n");
        return {STATUS_DONE};
    }
    if (openError != 0) {
        tarvix::reportError("Error reading file %s: %s\n", arguments.replayPath,
                            std::strerror(openError));
        return {STATUS_IO_ERROR};
    }
    const tarvix::LoadedReplay loaded = tarvix::loadReplay(replay.file.get());
    replay.file.reset();
    if (loaded.error != 0) {
        tarvix::reportError("Error reading file %s: %s\n", arguments.replayPath,
                            std::strerror(loaded.error));
        return {STATUS_IO_ERROR};
    }
    if (!loaded.bytes) {
        return {STATUS_DONE};
    }
    std::optional<tarvix::SetupTarget> target;
    if (arguments.setupPath != nullptr) {
        auto judged = tarvix::judgeSetupFile(arguments.setupPath, judging);
        if (const auto* refusal = std::get_if<tarvix::Refusal>(&judged)) {
            tarvix::reportRefusal(arguments.setupPath, *refusal);
        } else {
            target = std::get<tarvix::SetupTarget>(judged);
        }
    }
    const std::optional<tarvix::SetupBlock> block = tarvix::printReplaySummary(loaded.image());
    if (block && target) {
        tarvix::exportSetup(block->bytes, block->length, arguments.setupPath, *target);
    }
    return {STATUS_DONE};
}

// A run whose output was lost has failed, whatever it printed.
int checkStandardOutput(Ending ending)
{
    const int error = tarvix::flushStandardOutput();
    if (error == 0) {
        return ending.status;
    }
    if (ending.errorsShown) {
        std::fprintf(stderr, "Error writing standard output: %s\n", std::strerror(error));
    }
    return STATUS_IO_ERROR;
}

}  // namespace

int main(int argc, char** argv)
{
    return checkStandardOutput(run(argc, argv));
}
