#include "containers/crc.h"

#include <array>

namespace vn {

namespace {

constexpr std::array<uint32_t, 256> makeCrc32Table()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    return t;
}

constexpr std::array<uint64_t, 256> makeCrc64Table()
{
    std::array<uint64_t, 256> t{};
    for (uint64_t i = 0; i < 256; ++i) {
        uint64_t c = i << 56;
        for (int k = 0; k < 8; ++k)
            c = (c & 0x8000000000000000ull) ? (c << 1) ^ 0x42F0E1EBA9EA3693ull : c << 1;
        t[i] = c;
    }
    return t;
}

constexpr auto Crc32Table = makeCrc32Table();
constexpr auto Crc64Table = makeCrc64Table();

} // namespace

uint32_t crc32Iso3309(QByteArrayView bytes, uint32_t crc)
{
    uint32_t c = ~crc;
    for (const char ch : bytes)
        c = Crc32Table[(c ^ uint8_t(ch)) & 0xff] ^ (c >> 8);
    return ~c;
}

uint64_t crc64We(QByteArrayView bytes)
{
    uint64_t c = ~0ull;
    for (const char ch : bytes)
        c = Crc64Table[((c >> 56) ^ uint8_t(ch)) & 0xff] ^ (c << 8);
    return ~c;
}

} // namespace vn
