// The runner of the black-box rows: for each row a folder of its own, what is there before, one
// run of Tarvix, and what it printed and left on disk.
#pragma once

#include <map>
#include <optional>
#include <ostream>
#include <string>

#include "test_support.h"

namespace tarvix::testing {

inline const Bytes BANNER =
    "Tarvix v" TARVIX_VERSION " (C) the Tarvix authors, https://tarvix.example.org/\n";
inline const Bytes MAP_AND_CAR =
    "Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
inline const Bytes TIMES = "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
inline const Bytes SUMMARY = BANNER + "Profile name: Driver1\n" + MAP_AND_CAR + TIMES;

// Where a row stands, so that a failure points at the row rather than at the runner.
#define ROW(title) .file = __FILE__, .line = __LINE__, .name = title

struct Row {
    const char* file;
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

// Runs `row` and reports each difference at the row, or skips it with the reason it gives.
void runRow(const Row& row);

inline void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.run;
}

}  // namespace tarvix::testing
