// Guessing the encoding of Japanese or Western text from its bytes alone: three small state
// machines read the bytes side by side, each losing a little confidence on unusual bytes and
// dying on impossible ones; the last one standing, or the most confident at the end, wins.
#include "util/text_codec.h"

#include <cstdint>

namespace vn {

namespace {

struct Recogniser {
    int result;
    int state = 0;
    double score = 1.0;
    bool alive = true;
};

// Each step returns false when the byte has no transition from the current state.
bool stepEucJp(Recogniser& r, uint8_t b)
{
    switch (r.state) {
    case 0:
        if (b <= 0x7f)
            return true;
        if (b == 0x8e) {
            r.state = 1;
            r.score *= 0.8;
            return true;
        }
        if (b == 0x8f) {
            r.state = 3;
            r.score *= 0.95;
            return true;
        }
        if (b >= 0xa1 && b <= 0xfe) {
            r.state = 2;
            return true;
        }
        return false;
    case 1:
        if (b >= 0xa1 && b <= 0xdf) {
            r.state = 0;
            return true;
        }
        return false;
    default: // 2 and 3
        if (b >= 0xa1 && b <= 0xfe) {
            r.state = 0;
            return true;
        }
        return false;
    }
}

bool stepShiftJis(Recogniser& r, uint8_t b)
{
    if (r.state == 0) {
        if (b <= 0x7f)
            return true;
        if ((b >= 0x81 && b <= 0x9f) || (b >= 0xe1 && b <= 0xef)) {
            r.state = 1;
            return true;
        }
        if (b >= 0xf0 && b <= 0xfc) {
            r.state = 1;
            r.score *= 0.95;
            return true;
        }
        if ((b >= 0xa1 && b <= 0xdf) || b >= 0xfd) {
            r.score *= 0.8;
            return true;
        }
        return false; // 80, A0, E0
    }
    if ((b >= 0x40 && b <= 0x7e) || (b >= 0x80 && b <= 0xfc)) {
        r.state = 0;
        return true;
    }
    return false;
}

bool stepUtf8(Recogniser& r, uint8_t b)
{
    if (r.state == 0) {
        if (b <= 0x7f)
            return true;
        if (b >= 0xc2 && b <= 0xdf)
            r.state = 1;
        else if (b >= 0xe0 && b <= 0xef)
            r.state = 2;
        else if (b >= 0xf0 && b <= 0xf7)
            r.state = 3;
        else if (b >= 0xf8 && b <= 0xfb)
            r.state = 4;
        else if (b >= 0xfc && b <= 0xfd)
            r.state = 5;
        else
            return false;
        return true;
    }
    if (b >= 0x80 && b <= 0xbf) {
        --r.state;
        return true;
    }
    return false;
}

} // namespace

int detectCodePage(QByteArrayView text)
{
    // The text ends at its first NUL, as the callers' strings do.
    const qsizetype nul = text.indexOf('\0');
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = size_t(nul >= 0 ? nul : text.size());

    bool printable = true;
    for (size_t i = 0; i < n && printable; ++i)
        printable = p[i] >= 32 && p[i] <= 126;
    if (printable)
        return 0;

    if (n >= 2 && p[0] == 0xff && p[1] == 0xfe)
        return CpUtf16Le;
    if (n >= 2 && p[0] == 0xfe && p[1] == 0xff)
        return CpUtf16Be;

    // Visiting order EUC-JP, Shift_JIS, UTF-8; ties at the end go the other way.
    Recogniser rec[3] = {{CpEucJp}, {CpShiftJis}, {CpUtf8}};
    bool (*const step[3])(Recogniser&, uint8_t) = {stepEucJp, stepShiftJis, stepUtf8};

    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = p[i];
        if (b == 0x1b) {
            if (i + 1 < n && (p[i + 1] == '$' || p[i + 1] == '('))
                return CpIso2022Jp;
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            if (!rec[k].alive)
                continue;
            if (!rec[(k + 1) % 3].alive && !rec[(k + 2) % 3].alive)
                return rec[k].result;
            rec[k].alive = step[k](rec[k], b);
        }
        if (!rec[0].alive && !rec[1].alive && !rec[2].alive)
            return -1;
    }

    int best = -1;
    double bestScore = -1.0;
    for (int k : {2, 1, 0}) {
        if (rec[k].alive && rec[k].score > bestScore) {
            best = rec[k].result;
            bestScore = rec[k].score;
        }
    }
    return best;
}

} // namespace vn
