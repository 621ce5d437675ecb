// Builds synthetic replay images for the tests: every field is placed at its offset by name,
// so a failing test can say which field it was about. Offsets are written out here on purpose,
// apart from the reader's own constants, so a wrong constant there cannot hide in both places.
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
    // An image of `size` bytes of filler that holds no "PTSC" anywhere, with profile
    // "Driver1", map 71 and car slot 4.
    explicit ReplayBuilder(std::size_t size = 128);

    ReplayBuilder& profile(std::string_view name);  // up to 16 bytes, the rest zeroed
    ReplayBuilder& map(std::int32_t number) { return u32(28, static_cast<std::uint32_t>(number)); }
    ReplayBuilder& car(std::int32_t slot) { return u32(32, static_cast<std::uint32_t>(slot)); }

    // The marker at `marker`, the three times before it and the setup length and bytes after
    // it; the image grows to hold them.
    ReplayBuilder& setupBlock(std::size_t marker, float checkpoint1, float checkpoint2,
                              float stageTime, const Bytes& setup);
    ReplayBuilder& marker(std::size_t offset) { return raw(offset, "PTSC"); }

    ReplayBuilder& u32(std::size_t offset, std::uint32_t value);
    ReplayBuilder& f32(std::size_t offset, float value);
    ReplayBuilder& raw(std::size_t offset, std::string_view bytes);
    ReplayBuilder& raw(std::size_t offset, std::span<const std::uint8_t> bytes);
    ReplayBuilder& resize(std::size_t size);

    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// The replay shipped as samples/sample.rpl.
Bytes sampleReplay();

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes);
Bytes readFile(const std::string& path);

}  // namespace tarvix::testing
