// Tarvix: prints the summary of a replay file and, with -s, exports the car setup stored in it.
//
//   Tarvix [-s <setup file>] <replay file>
//
// Exit status: 1 after the usage line; 5 when opening, measuring or reading the replay failed,
// or when standard output could not be written; 0 otherwise, whatever the summary reported.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "cli/replay_file.h"
#include "cli/setup_target.h"
#include "replay/replay_summary.h"
#include "report.h"

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

// A standard stream its caller closed leaves its descriptor free for the next file opened, and
// what is printed to the stream would go into that file: a replay refused as a setup target
// would get the message that refuses it. Each such descriptor is held by /dev/null, opened the
// wrong way round (as the C library does for set-user-ID programs), so that the stream fails
// as a closed one does. False where that cannot be done.
bool holdClosedStandardStreams()
{
#ifdef _WIN32
    return true;
#else
    const auto held = [](int fd) {  // in order: the open takes the lowest free descriptor
        return fcntl(fd, F_GETFD) != -1 || errno != EBADF ||
               open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY) == fd;
    };
    return held(STDIN_FILENO) && held(STDOUT_FILENO) && held(STDERR_FILENO);
#endif
}

int run(int argc, char** argv)
{
    if (!holdClosedStandardStreams()) {
        return STATUS_IO_ERROR;  // nowhere safe to say so
    }
    std::printf("Tarvix v%s %s\n", TARVIX_VERSION,
                "(C) the Tarvix authors, https://tarvix.example.org/");
    if (argc < 2 || std::strcmp(argv[1], "-h") == 0) {
        std::printf("Usage: Tarvix [-s <setup file>] <replay file>\n");
        return STATUS_USAGE;
    }
    const Arguments arguments = scanArguments(argc, argv);
    if (arguments.replayPath == nullptr) {
        tarvix::reportError("No replay file name specified\n");
        return STATUS_DONE;
    }

    const tarvix::LoadedReplay replay = tarvix::loadReplay(arguments.replayPath);
    if (replay.error != 0) {
        tarvix::reportError("Error reading file %s: %s\n", arguments.replayPath,
                            std::strerror(replay.error));
        return STATUS_IO_ERROR;
    }
    if (!replay.bytes) {
        return STATUS_DONE;
    }
    std::optional<tarvix::SetupTarget> target;
    if (arguments.setupPath != nullptr) {
        target = tarvix::openSetupTarget(arguments.setupPath, replay.id);
    }
    tarvix::printReplaySummary(replay.image(), target ? &*target : nullptr);
    return STATUS_DONE;
}

// A run whose output was lost has failed, whatever it printed.
int checkStandardOutput(int status)
{
    const int error = tarvix::standardOutputError();
    if (error == 0) {
        return status;
    }
    std::fprintf(stderr, "Error writing standard output: %s\n", std::strerror(error));
    return STATUS_IO_ERROR;
}

}  // namespace

int main(int argc, char** argv)
{
    return checkStandardOutput(run(argc, argv));
}
