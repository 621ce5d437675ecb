// Where -s may write: the one place that decides whether a setup may go to a path.
#pragma once

#include <optional>

#include "open_file.h"
#include "setup/setup_export.h"

namespace tarvix {

// Opens `setupPath` once, without changing it, and judges the file opened, never the path
// looked up again, while the replay being read is the file `replay`. A replay is a recorded
// drive that cannot be made again, so these are refused, in this order, each with its message
// on standard error, and give none:
//   - a path that cannot be opened for another reason than that nothing is there, and a file
//     that cannot be read to its end, or whose identity or name the system cannot tell:
//     "cannot tell whether ..." with the reason;
//   - the replay itself, by any name or link: "... is the replay file";
//   - a regular file named *.rpl in any letter case, by the name given or by the name the
//     system tells for the file opened (that of a symbolic link's target), whatever it holds,
//     and one in which the summary would find a setup block: "... is a replay file".
// Anything else is the export's target: the file opened (a regular file, replaced; on Windows
// a device); a missing path, created; a FIFO or a character device, opened for writing only
// when the setup is ready; and a file that may be read but not written, a directory among
// them, the export's own open error.
std::optional<SetupTarget> openSetupTarget(const char* setupPath, FileId replay);

}  // namespace tarvix
