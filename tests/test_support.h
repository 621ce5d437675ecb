// Synthetic replays, built from named fields.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

namespace tarvix::testing {

using Bytes = std::string;  // any bytes, zeros included

// Filler, with Driver1 on map 71 in car slot 4. The offsets are written out here, apart from
// the reader's, so that a wrong offset there cannot hide in both places.
struct Replay {
    Bytes bytes;

    explicit Replay(std::size_t size = 128) : bytes(size, '\xAA')
    {
        name("Driver1").u32(28, 71).u32(32, 4);
    }
    Replay& raw(std::size_t at, std::string_view field)  // grows the image to fit
    {
        bytes.resize(std::max(bytes.size(), at + field.size()));
        bytes.replace(at, field.size(), field);
        return *this;
    }
    Replay& u32(std::size_t at, std::uint32_t v)
    {
        return raw(at, Bytes{char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
    }
    Replay& name(std::string_view text)  // over 16 bytes: 16 - size wraps, append throws
    {
        return raw(12, Bytes(text).append(16 - text.size(), 0));
    }
    // The setup block at m: the three times before it, the marker, the length and the setup.
    Replay& block(std::size_t m, float t1, float t2, float t3, std::string_view setup)
    {
        u32(m - 24, std::bit_cast<std::uint32_t>(t1)).u32(m - 20, std::bit_cast<std::uint32_t>(t2));
        u32(m - 16, std::bit_cast<std::uint32_t>(t3)).raw(m, "PTSC").u32(m + 4, setup.size());
        return raw(m + 8, setup);
    }
};

// samples/sample.rpl. Its setup is padded with zero bytes, which the export drops.
inline const Bytes SAMPLE_SETUP("\x01\x7f\0 sample setup\xff", 17);
inline const Bytes SAMPLE =
    Replay(512).block(360, 30.5, 61.25, 95, SAMPLE_SETUP + Bytes(20, 0)).bytes;

inline Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace tarvix::testing
