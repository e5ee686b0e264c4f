#include "encode/encoder_availability.h"

#include <QLibrary>

namespace vn {

namespace {

// Mirrors the library's own version record.
struct LameVersion {
    int major, minor, alpha, beta;
    int psyMajor, psyMinor, psyAlpha, psyBeta;
    const char* features;
};
using LameVersionFn = void (*)(LameVersion*);

void probeLame(EncoderAvailability& result)
{
    QLibrary lib(QStringLiteral("mp3lame"), 0);
    if (!lib.load())
        return;
    auto versionFn = reinterpret_cast<LameVersionFn>(lib.resolve("get_lame_version_numerical"));
    if (!versionFn)
        return;
    LameVersion v{};
    versionFn(&v);
    result.lame = true;
    // The library and its engine share one version number.
    result.lameEngineMajor = result.lameLibraryMajor = v.major;
    result.lameEngineMinor = result.lameLibraryMinor = v.minor;
    if (auto url = reinterpret_cast<const char* (*)()>(lib.resolve("get_lame_url"))) {
        if (const char* text = url())
            result.lameHomepage = QByteArray(text).left(128);
    }
}

void probeFlac(EncoderAvailability& result)
{
    for (int version : {12, 8}) {
        QLibrary lib(QStringLiteral("FLAC"), version);
        if (!lib.load())
            continue;
        // An exported variable: the symbol's address holds the pointer to the text.
        auto versionText = reinterpret_cast<const char* const*>(lib.resolve("FLAC__VERSION_STRING"));
        if (!versionText || !*versionText)
            continue;
        result.flac = true;
        result.flacVersion = QByteArray(*versionText);
        return;
    }
}

} // namespace

EncoderAvailability probeEncoders()
{
    EncoderAvailability result;
    probeLame(result);
    probeFlac(result);
    return result;
}

} // namespace vn
