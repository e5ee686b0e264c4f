#include "verify/fingerprint.h"

#include "verify/opening_pcm.h"

#include <chromaprint.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <memory>

namespace vn {

namespace {

struct ContextCloser {
    void operator()(ChromaprintContext* c) const { chromaprint_free(c); }
};

} // namespace

bool fingerprintOf(const std::vector<int16_t>& samples, Fingerprint& print)
{
    print = Fingerprint{};
    const std::unique_ptr<ChromaprintContext, ContextCloser> context(chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT));
    if (!context || !chromaprint_start(context.get(), OpeningRate, 1))
        return false;
    print.itemMs = chromaprint_get_item_duration_ms(context.get());
    constexpr size_t Piece = 1 << 16;
    for (size_t at = 0; at < samples.size(); at += Piece) {
        const int n = int(std::min(Piece, samples.size() - at));
        if (!chromaprint_feed(context.get(), samples.data() + at, n))
            return false;
    }
    if (!chromaprint_finish(context.get()))
        return false;
    uint32_t* raw = nullptr;
    int size = 0;
    if (!chromaprint_get_raw_fingerprint(context.get(), &raw, &size))
        return false;
    if (raw && size > 0)
        print.items.assign(raw, raw + size);
    chromaprint_dealloc(raw);
    return print.itemMs > 0;
}

int similarity(const Fingerprint& a, const Fingerprint& b)
{
    const int step = std::max(a.itemMs, b.itemMs);
    if (step <= 0 || a.itemMs != b.itemMs)
        return -1;
    const int reach = (AlignmentMs + step / 2) / step;
    const int64_t na = int64_t(a.items.size());
    const int64_t nb = int64_t(b.items.size());
    double bestRate = 2;
    for (int shift = -reach; shift <= reach; ++shift) {
        // Item i of A against item i + shift of B.
        const int64_t first = std::max<int64_t>(0, -shift);
        const int64_t end = std::min<int64_t>(na, nb - shift);
        const int64_t overlap = end - first;
        if (overlap < MinimumOverlapItems)
            continue;
        int64_t errors = 0;
        for (int64_t i = first; i < end; ++i)
            errors += std::popcount(a.items[size_t(i)] ^ b.items[size_t(i + shift)]);
        bestRate = std::min(bestRate, double(errors) / double(overlap * 32));
    }
    if (bestRate > 1)
        return -1;
    return std::clamp(int(100.0 * (1.0 - 2.0 * bestRate) + 0.5), 0, 100);
}

} // namespace vn
