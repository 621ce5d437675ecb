#include "replay_builder.h"

#include <bit>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarvix::testing {
namespace {

// Steps of 7 never give the rising and falling bytes of "PTSC", so filler holds no marker.
std::uint8_t filler(std::size_t offset)
{
    return static_cast<std::uint8_t>(offset * 7 + 3);
}

}  // namespace

ReplayBuilder::ReplayBuilder(std::size_t size)
{
    resize(size);
    profile("Driver1").map(71).car(4);
}

ReplayBuilder& ReplayBuilder::resize(std::size_t size)
{
    const std::size_t old = bytes_.size();
    bytes_.resize(size);
    for (std::size_t i = old; i < size; ++i) {
        bytes_[i] = filler(i);
    }
    return *this;
}

ReplayBuilder& ReplayBuilder::raw(std::size_t offset, std::span<const std::uint8_t> bytes)
{
    if (offset + bytes.size() > bytes_.size()) {
        resize(offset + bytes.size());
    }
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

ReplayBuilder& ReplayBuilder::raw(std::size_t offset, std::string_view bytes)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return raw(offset, std::span<const std::uint8_t>(data, bytes.size()));
}

ReplayBuilder& ReplayBuilder::u32(std::size_t offset, std::uint32_t value)
{
    const std::uint8_t little[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return raw(offset, little);
}

ReplayBuilder& ReplayBuilder::f32(std::size_t offset, float value)
{
    return u32(offset, std::bit_cast<std::uint32_t>(value));
}

ReplayBuilder& ReplayBuilder::profile(std::string_view name)
{
    Bytes field(16, 0);
    std::copy(name.begin(),
              name.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(name.size(), 16)),
              field.begin());
    return raw(12, field);
}

ReplayBuilder& ReplayBuilder::setupBlock(std::size_t marker, float checkpoint1, float checkpoint2,
                                         float stageTime, const Bytes& setup)
{
    f32(marker - 24, checkpoint1).f32(marker - 20, checkpoint2).f32(marker - 16, stageTime);
    this->marker(marker).u32(marker + 4, static_cast<std::uint32_t>(setup.size()));
    return raw(marker + 8, setup);
}

Bytes sampleReplay()
{
    Bytes setup(120);
    for (std::size_t i = 0; i < 100; ++i) {
        setup[i] = static_cast<std::uint8_t>(i * 13 + 1);  // then 20 zero bytes of padding
    }
    ReplayBuilder replay(512);
    replay.profile("Driver1").map(71).car(4).setupBlock(360, 30.5F, 61.25F, 95.0F, setup);
    return replay.bytes();
}

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace tarvix::testing
