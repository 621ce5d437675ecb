// Where Tarvix writes: standard output, standard error and the setup file named with -s. A
// replay is a recorded drive that cannot be made again, and no output of Tarvix goes into one.
// One rule judges all three, each before anything is written to it.
#pragma once

#include <optional>
#include <variant>

#include "system.h"

namespace tarvix {

// An output, or a file Tarvix reads, as the system tells of it.
struct OutputFile {
    FileInfo info;                // kind Other and no identity where the system tells none
    OrError<std::string> name{};  // as the system tells it, for a regular file or block device
    bool closedStream = false;    // a standard stream its caller closed, held by the null device
};

enum class Stream { Input, Output, Error };

struct StandardStreams {
    OutputFile in, out, err;
};

StandardStreams describeStandardStreams(std::array<bool, 3> closed);

// What an output is judged against: the replay being read (kind Other where it could not be
// opened or told) and the standard streams.
struct Judging {
    FileInfo replay{};
    StandardStreams streams{};
};

// The setup file as it was found: the file opened to read it, or the error of that open (the
// file told by its name instead).
struct SetupCandidate {
    const char* path;
    std::FILE* opened;
    int openError;
};

struct Refusal {
    enum Reason { CannotTell, ReplayBeingRead, WrittenByAStream, OtherReplay } reason;
    int error = 0;                   // CannotTell: why
    Stream stream = Stream::Output;  // WrittenByAStream: which
};

// May Tarvix write into `file`: a standard stream, or the setup file where `setup` is given?
// None, or why not. Refused, in this order:
//   1. the replay being read, by any name or link;
//   2. the setup file: a regular file named *.rpl in any letter case by the name given, even
//      where it could not be opened;
//   3. what cannot be told: a block device, which may hold replays or show the replay's bytes;
//      where the replay is read from a block device, any regular file, which may be the file
//      behind it; and the setup file where it could not be opened to be read for another
//      reason than that nothing is there;
//   4. the setup file: a regular file that standard output or standard error writes to, and
//      the null device that holds a standard stream its caller closed, where nothing arrives;
//   5. a regular file named *.rpl in any letter case by the name the system tells (a symbolic
//      link's target); where it tells none, a stream is judged without it and the setup file
//      is refused (cannot tell);
//   6. the setup file: a regular file too large to be a replay (2 GiB or more), which may hold
//      replays in more than is read here, one that cannot be read to its end, and one that holds
//      a setup block: the marker with the times before it and the length after it inside the
//      file, at any offset, as in an archive, not only where the summary looks.
std::optional<Refusal> refusalToWrite(const OutputFile& file, const Judging& judging,
                                      const SetupCandidate* setup = nullptr);

// Where standard output or standard error is refused, the run ends before anything is printed
// to it. The other stream says so: "Error writing standard output: <replay> is the replay file",
// "<name> is a replay file", or "cannot tell whether it is a replay: <reason>".
void reportStreamRefusals(const char* replayPath, const StandardStreams& streams,
                          const std::optional<Refusal>& out, const std::optional<Refusal>& err);

// Where a setup may go, as judged. Nothing is created, emptied or opened for writing before the
// setup is ready.
struct CreateNew {};  // nothing was there: created, never over a file that appeared since
struct OpenJudged {
    FileInfo judged;  // written only if what opens by the name is this file; emptied if regular
};
struct OpenFailed {
    int error;  // the export's own open error: a directory
};
using SetupTarget = std::variant<CreateNew, OpenJudged, OpenFailed>;

// Finds and judges the file `setupPath` leads to, opened only to be read, changing nothing. The
// name given is looked at first, without an open where it names a FIFO or device: an open would
// release a reader waiting on a FIFO, or act on a device (a tape rewinds when closed).
std::variant<Refusal, SetupTarget> judgeSetupFile(const char* setupPath, const Judging& judging);

// "Setup not written: ..." on standard error.
void reportRefusal(const char* setupPath, const Refusal& refusal);

// The judged target opened to be written, and emptied where it is a regular file; null once it
// could not be, which it reports: the open error, or a file that is not the one judged, as where
// its name was swapped meanwhile.
File openSetupFileOrReport(const char* setupPath, const SetupTarget& target);

}  // namespace tarvix
