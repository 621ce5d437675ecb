// Where -s may write: the one place that decides whether a setup may go to a path.
#pragma once

namespace tarvix {

// Whether the setup may be written to `setupPath` while `replayPath` is the replay being read.
// A replay is a recorded drive that cannot be made again, so these are refused, in this order,
// each with its message on standard error:
//   - the replay itself, by any name or link: "... is the replay file";
//   - an existing regular file named *.rpl in any letter case, whatever it holds, and one in
//     which the summary would find a setup block: "... is a replay file";
//   - an existing regular file that cannot be read to its end to tell: "cannot tell whether ...".
// Anything else may be written: a missing path is created, any other file is replaced, and what
// is not a regular file (a directory, a device) is left to the export's own open.
bool maySetupBeWritten(const char* setupPath, const char* replayPath);

}  // namespace tarvix
