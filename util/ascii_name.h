#pragma once
// Plain ASCII names for files and folders made from titles that may be Japanese: ASCII letters,
// digits, "_" and "-" stay, other ASCII becomes "_", and each run of other characters is replaced by
// its reading in Latin letters (katakana reading, then Hepburn-style transliteration).

#include <QString>
#include <QStringView>

namespace vn {

// The name, at most capacity - 1 characters.
QString MakeAsciiName(QStringView input, int capacity);

// The katakana reading of a run of text: kana are converted directly, anything else is read by the
// morphological analyser. Empty when the analyser or its dictionary is missing.
QString katakanaReading(QStringView text);

// Katakana to Latin letters, at most capacity - 1 characters.
QString transliterate(QStringView katakana, int capacity);

// True when the morphological analyser could be loaded with a dictionary.
bool readingsAvailable();

} // namespace vn
