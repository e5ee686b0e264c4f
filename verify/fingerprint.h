#pragma once
// Fingerprints of the opening seconds (libchromaprint) and how alike two of them are: the bit-error
// rate of the best alignment within a couple of seconds, as a similarity from 0 to 100 %.

#include <cstdint>
#include <vector>

namespace vn {

struct Fingerprint {
    std::vector<uint32_t> items; // one 32-bit item per step of the fingerprinter
    int itemMs = 0;              // the step, in milliseconds
};

// The raw fingerprint of samples at OpeningRate, one channel. False when the fingerprinter fails;
// too few samples give an empty fingerprint.
bool fingerprintOf(const std::vector<int16_t>& samples, Fingerprint& print);

// The widest shift between the two openings that still counts as the same start.
inline constexpr int AlignmentMs = 2000;
// Fewer overlapping items than this (about three seconds) cannot tell two recordings apart.
inline constexpr int MinimumOverlapItems = 24;

// 100 for identical fingerprints, near 0 for unrelated audio: 100 * (1 - 2 * bit-error rate) at
// the alignment with the fewest differing bits, within AlignmentMs either way. -1 when the two
// overlap too little to tell.
int similarity(const Fingerprint& a, const Fingerprint& b);

} // namespace vn
