#include "util/numbers.h"

#include <limits>

namespace vn {

namespace {

constexpr uint64_t Saturated = uint64_t(std::numeric_limits<int64_t>::max());

char16_t unit(QByteArrayView text, qsizetype i)
{
    return char16_t(uint8_t(text[i]));
}

char16_t unit(QStringView text, qsizetype i)
{
    return text[i].unicode();
}

bool isBlank(char16_t c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The sign and the saturated magnitude; digits tells whether there were any.
template <typename View>
uint64_t scanDecimal(View text, bool& negative, bool* digits = nullptr, qsizetype* end = nullptr)
{
    qsizetype i = 0;
    while (i < text.size() && isBlank(unit(text, i)))
        ++i;
    negative = false;
    if (i < text.size() && (unit(text, i) == '+' || unit(text, i) == '-'))
        negative = unit(text, i++) == '-';
    const qsizetype first = i;
    uint64_t v = 0;
    for (; i < text.size() && unit(text, i) >= '0' && unit(text, i) <= '9'; ++i)
        v = v > (Saturated - 9) / 10 ? Saturated : v * 10 + uint64_t(unit(text, i) - '0');
    if (digits)
        *digits = i > first;
    if (end)
        *end = i;
    return v;
}

template <typename View>
int64_t signedValue(View text)
{
    bool negative;
    const uint64_t v = scanDecimal(text, negative);
    return negative ? -int64_t(v) : int64_t(v);
}

int32_t clampToLong(int64_t v)
{
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    return int32_t(v);
}

} // namespace

int64_t leadingInteger(QByteArrayView text)
{
    return signedValue(text);
}

int64_t leadingInteger(QStringView text)
{
    return signedValue(text);
}

int32_t toLong(QByteArrayView text)
{
    return clampToLong(signedValue(text));
}

int32_t toLong(QStringView text)
{
    return clampToLong(signedValue(text));
}

uint32_t toULong(QByteArrayView text)
{
    bool negative;
    const uint64_t v = scanDecimal(text, negative);
    if (v > std::numeric_limits<uint32_t>::max())
        return std::numeric_limits<uint32_t>::max();
    return negative ? uint32_t(0u - uint32_t(v)) : uint32_t(v);
}

uint64_t leadingHex(QStringView text, uint64_t ceiling)
{
    uint64_t n = 0;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0)
            break;
        n = n > (ceiling - uint64_t(digit)) / 16 ? ceiling : n * 16 + uint64_t(digit);
    }
    return n;
}

std::optional<int> wholeNumber(QStringView text)
{
    if (text.isEmpty() || isBlank(unit(text, 0)))
        return std::nullopt;
    bool negative, digits;
    qsizetype end;
    const uint64_t v = scanDecimal(text, negative, &digits, &end);
    if (!digits || end != text.size() || v > uint64_t(std::numeric_limits<int>::max()) + (negative ? 1 : 0))
        return std::nullopt;
    return negative ? int(-int64_t(v)) : int(v);
}

} // namespace vn
