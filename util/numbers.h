#pragma once
// The one number parser: the decimal forms of the settings file, the number boxes, cue sheets and
// command-line options, and the hexadecimal of a CD table of contents.

#include <QByteArrayView>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace vn {

// Decimal after optional leading blanks and a sign, up to the first non-digit; no digits give 0.
// The magnitude saturates at 2^63 - 1 instead of wrapping.
int64_t leadingInteger(QByteArrayView text);
int64_t leadingInteger(QStringView text);

// The standard conversions of a 32-bit long: the signed one saturates at the type's bounds; the
// unsigned one negates a minus sign in 32-bit arithmetic and gives the largest value on overflow.
int32_t toLong(QByteArrayView text);
uint32_t toULong(QByteArrayView text);
// toLong of a box's text.
int32_t toLong(QStringView text);

// Hexadecimal digits from the start up to the first other character, saturating at ceiling.
uint64_t leadingHex(QStringView text, uint64_t ceiling);

// The whole text is one decimal int (an optional sign, then digits); otherwise nothing.
std::optional<int> wholeNumber(QStringView text);

} // namespace vn
