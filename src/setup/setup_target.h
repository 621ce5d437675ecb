// Where Tarvix writes: the setup file named with -s and the standard streams, each judged
// against the replay being read, which is a recorded drive that cannot be made again.
#pragma once

#include <variant>

#include "system.h"

namespace tarvix {

struct StandardStreams {
    FileInfo out, err;  // kind Other and no identity where the system tells none
};

StandardStreams describeStandardStreams();

// Which standard streams write into the replay, by any name or link, as the caller opened them.
// A block device counts, as it may show the replay's bytes, and where the replay is read from
// one, so does a regular file, which may be the file behind it.
struct StreamsOfTheReplay {
    bool out = false, err = false;
};

StreamsOfTheReplay streamsOfTheReplay(const FileInfo& replay, const StandardStreams& streams);

// Says so on the other stream, where that is not the replay too: "Error writing standard
// output: <replay> is the replay file" on standard error, or the same of standard error on
// standard output.
void reportStreamsOfTheReplay(const char* replayPath, StreamsOfTheReplay streams);

// Where a setup may go, as judged: the one file judged, whatever becomes of its name
// meanwhile. Nothing is created or emptied before the setup is ready.
struct WriteInPlace {
    File file;
    bool regular;  // emptied first; otherwise a FIFO or device the check had to open
};
struct CreateNew {};  // nothing was there: created, never over a file that appeared since
struct OpenWhenReady {
    FileInfo judged;  // a FIFO or character device, written only if that is what opens
};
struct OpenFailed {
    int error;  // the export's own open error: a directory, a file that may not be written
};
using SetupTarget = std::variant<WriteInPlace, CreateNew, OpenWhenReady, OpenFailed>;

// Why a setup is not written.
struct Refusal {
    enum Reason { TheReplay, StandardOutput, StandardError, AReplay, CannotTell } reason;
    int error = 0;  // why it cannot tell
};

// Judges the file `setupPath` leads to, changing nothing, while the replay being read is the
// file `replay`. Refused, in this order:
//   - what cannot be told: a path that cannot be opened for another reason than that nothing
//     is there, a file that cannot be read to its end, whose identity or name the system cannot
//     tell, and a block device, which may hold a replay or show one in a file behind it;
//   - the replay itself, by any name or link;
//   - a regular file that standard output or standard error writes to;
//   - a regular file named *.rpl in any letter case, by the name given (even where it cannot
//     be opened) or by the name the system tells for the file opened (a symbolic link's
//     target), whatever it holds, and one in which the summary would find a setup block.
// The name given is judged first: what it tells needs no open, and an open would release a
// reader waiting on a FIFO, or act on a device (a tape rewinds when closed).
std::variant<Refusal, SetupTarget> judgeSetupTarget(const char* setupPath, const FileInfo& replay,
                                                    const StandardStreams& streams);

// "Setup not written: ..." on standard error.
void reportRefusal(const char* setupPath, const Refusal& refusal);

// The judged target opened to be written; null once it could not be, which it reports: the
// open error, or, for a FIFO or device, a file that is not the one judged.
File openSetupFileOrReport(const char* setupPath, SetupTarget target);

}  // namespace tarvix
