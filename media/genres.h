#pragma once
// The 192 genre names of the ID3v1 list with its common extensions, numbers 0 to 191.

namespace vn {

inline constexpr int GenreCount = 192;

// The name of genre number n, or nullptr outside 0..191.
const char* genreName(int n);

} // namespace vn
