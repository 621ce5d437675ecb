// What the layers share: replays built field by field; rows, each a run of the built binary.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <map>
#include <optional>
#include <string>

namespace tarvix::testing {

using Bytes = std::string;  // any bytes, zeros included

// clang-format off
// Filler with Driver1 on map 71 in car slot 4; the offsets apart from the reader's, not shared.
struct Replay {
    Bytes bytes;
    explicit Replay(std::size_t size = 128) : bytes(size, '\xAA')
    { name("Driver1").u32(28, 71).u32(32, 4); }
    Replay& raw(std::size_t at, std::string_view field)  // grows the image to fit
    {
        bytes.resize(std::max(bytes.size(), at + field.size()));
        bytes.replace(at, field.size(), field);
        return *this;
    }
    Replay& u32(std::size_t at, std::uint32_t v)
    { return raw(at, Bytes{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}); }
    Replay& name(std::string_view text)  // over 16 bytes: 16 - size wraps, append throws
    { return raw(12, Bytes(text).append(16 - text.size(), 0)); }
    // The setup block at m: the three times before it, the marker, the length and the setup.
    Replay& block(std::size_t m, float t1, float t2, float t3, std::string_view setup)
    {
        u32(m - 24, std::bit_cast<std::uint32_t>(t1)).u32(m - 20, std::bit_cast<std::uint32_t>(t2));
        u32(m - 16, std::bit_cast<std::uint32_t>(t3)).raw(m, "PTSC").u32(m + 4, setup.size());
        return raw(m + 8, setup);
    }
};

// samples/sample.rpl, whose setup is padded with zero bytes that the export drops; its summary.
inline const Bytes SAMPLE_SETUP("\x01\x7f\0 sample setup\xff", 17);
inline const Bytes SAMPLE =
    Replay(512).block(360, 30.5, 61.25, 95, SAMPLE_SETUP + Bytes(20, 0)).bytes;
inline const Bytes BANNER =
    "Tarvix v" TARVIX_VERSION " (C) the Tarvix authors, https://tarvix.example.org/\n";
inline const Bytes MAP_AND_CAR =
    "Map nr.     : 71 (Rally School Stage)\nCar slot    : 4 (Peugeot 206)\n";
inline const Bytes TIMES = "Checkpoint 1: 0:30.50\nCheckpoint 2: 1:01.25\nStage time  : 1:35.00\n";
inline const Bytes SUMMARY = BANNER + "Profile name: Driver1\n" + MAP_AND_CAR + TIMES;

#define ROW(title) .line = __LINE__, .name = title  // so that a failure names the row's line

struct Row {
    int line;
    const char* name;
    Bytes replay = SAMPLE;                 // r.rpl
    std::map<std::string, Bytes> files{};  // other files, written before `given`
    const char* needs = "";                // shell: what the row needs, or `skip` and why
    const char* given = "";                // shell: the rest of what is there before
    const char* run = "tarvix -s out.setup r.rpl";
    Bytes out = SUMMARY, err{};            // line ends as \n, the row's folder as "."
    int status = 0;
    // Files the run changes, and their contents where looked at; no other file may change.
    std::map<std::string, std::optional<Bytes>> changes{};
};
inline void PrintTo(const Row& row, std::ostream* os) { *os << row.run; }  // gtest shows its run

class Cli : public ::testing::TestWithParam<Row> {};

inline const Bytes USAGE = BANNER + "Usage: Tarvix [-s <setup file>] <replay file>\n";
inline const Bytes NOT_FOUND = MAP_AND_CAR + "Car setup not found\n";
inline Bytes written(const Bytes& f) { return SUMMARY + "Setup written to " + f + "\n"; }
inline Bytes refused(const Bytes& f, const Bytes& why)
{ return "Setup not written: " + f + " " + why + "\n"; }
inline Bytes cannotTell(const Bytes& f, const char* why)
{ return refused("cannot tell whether " + f, "is a replay: " + Bytes(why)); }
inline Bytes into(const char* stream, const Bytes& f, const char* the = "the")
{ return "Error writing standard " + Bytes(stream) + ": " + f + " is " + the + " replay file\n"; }
inline const Bytes IS_A_REPLAY = refused("out.setup", "is a replay file");
inline const Bytes WRITTEN = written("out.setup");
inline const std::map<std::string, std::optional<Bytes>> SETUP = {{"out.setup", SAMPLE_SETUP}};
inline const std::map<std::string, Bytes> OLD = {{"out.setup", Bytes(100, 'o')}};  // and longer
// The sample's times, then `setup` to the end of the file, which claims `length` bytes.
inline Bytes sampleWithSetup(std::string_view setup, std::uint32_t length)
{ return Replay(104).block(96, 30.5, 61.25, 95, setup).u32(100, length).bytes; }
// clang-format on

#define NOT_WINE(why) "not_under wine " why
#define LIMITED "unwrapped a limit on memory needs the plain binary && need truncate"
#define READ_FAILS \
    "need /sys/class/net/lo/speed && " NOT_WINE("Wine reads /sys its own way") " && { ! cat" \
    " /sys/class/net/lo/speed >/dev/null 2>&1 || skip needs a file whose read fails; }"
#define HOLDS_STREAMS "not_under valgrind valgrind needs them && " NOT_WINE("Wine needs them")
#define MOUNTS                                                                        \
    "unwrapped mounts hide the wrappers\\' files && { unshare -m true 2>/dev/null ||" \
    " skip needs a mount namespace; }"

}  // namespace tarvix::testing
