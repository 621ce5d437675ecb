// Builds synthetic replay images for the tests, placing each field at its offset by name.
// Offsets are written out here, apart from the reader's own constants, so that a wrong
// constant there cannot hide in both places.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvix::testing {

using Bytes = std::vector<std::uint8_t>;

class ReplayBuilder {
public:
    // `size` bytes of filler that hold no "PTSC", with profile "Driver1", map 71, car slot 4.
    explicit ReplayBuilder(std::size_t size = 128);

    ReplayBuilder& profile(std::string_view name);  // up to 16 bytes, the rest zeroed
    ReplayBuilder& map(std::int32_t number) { return u32(28, static_cast<std::uint32_t>(number)); }
    ReplayBuilder& car(std::int32_t slot) { return u32(32, static_cast<std::uint32_t>(slot)); }
    ReplayBuilder& marker(std::size_t offset) { return raw(offset, "PTSC"); }
    // The marker at `m`, the three times before it, the setup length and bytes after it.
    ReplayBuilder& setupBlock(std::size_t m, float checkpoint1, float checkpoint2, float stageTime,
                              const Bytes& setup);
    ReplayBuilder& u32(std::size_t offset, std::uint32_t value);
    ReplayBuilder& f32(std::size_t offset, float value);
    ReplayBuilder& raw(std::size_t offset, std::string_view bytes);  // grows the image to fit

    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// The replay shipped as samples/sample.rpl: Driver1 on map 71 with car 4, times 30.5, 61.25 and
// 95 seconds, and a setup of 100 bytes padded with 20 zero bytes.
Bytes sampleReplay();

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes);
Bytes readFile(const std::string& path);

}  // namespace tarvix::testing
