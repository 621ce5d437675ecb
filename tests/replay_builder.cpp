#include "replay_builder.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarvix::testing {

ReplayBuilder::ReplayBuilder(std::size_t size) : bytes_(size)
{
    // Steps of 7 never give the rises and falls of "PTSC", so the filler holds no marker.
    for (std::size_t i = 0; i < size; ++i) {
        bytes_[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    profile("Driver1").map(71).car(4);
}

ReplayBuilder& ReplayBuilder::raw(std::size_t offset, std::string_view bytes)
{
    bytes_.resize(std::max(bytes_.size(), offset + bytes.size()));
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

ReplayBuilder& ReplayBuilder::u32(std::size_t offset, std::uint32_t value)
{
    const char little[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                            static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    return raw(offset, std::string_view(little, 4));
}

ReplayBuilder& ReplayBuilder::f32(std::size_t offset, float value)
{
    return u32(offset, std::bit_cast<std::uint32_t>(value));
}

ReplayBuilder& ReplayBuilder::profile(std::string_view name)
{
    std::string field(name.substr(0, 16));
    field.resize(16, '\0');
    return raw(12, field);
}

ReplayBuilder& ReplayBuilder::setupBlock(std::size_t m, float checkpoint1, float checkpoint2,
                                         float stageTime, const Bytes& setup)
{
    f32(m - 24, checkpoint1).f32(m - 20, checkpoint2).f32(m - 16, stageTime).marker(m);
    u32(m + 4, static_cast<std::uint32_t>(setup.size()));
    return raw(m + 8, std::string_view(reinterpret_cast<const char*>(setup.data()), setup.size()));
}

Bytes sampleReplay()
{
    Bytes setup(120);  // 100 bytes, then 20 zero bytes of padding
    for (std::size_t i = 0; i < 100; ++i) {
        setup[i] = static_cast<std::uint8_t>(i * 13 + 1);
    }
    return ReplayBuilder(512).setupBlock(360, 30.5F, 61.25F, 95.0F, setup).bytes();
}

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()))) {
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
