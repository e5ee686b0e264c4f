#pragma once
// Checksums the Matroska files carry: CRC-32 elements and the attachment UIDs derived from a CRC-64.

#include <QByteArrayView>
#include <cstdint>

namespace vn {

// CRC-32 of ISO 3309 (reflected polynomial 0xEDB88320, initial and final value all ones). Pass the
// previous result as crc to continue over a further run of bytes.
uint32_t crc32Iso3309(QByteArrayView bytes, uint32_t crc = 0);

// CRC-64/WE: ECMA-182 polynomial 0x42F0E1EBA9EA3693, most significant bit first, initial value and
// final XOR all ones.
uint64_t crc64We(QByteArrayView bytes);

} // namespace vn
