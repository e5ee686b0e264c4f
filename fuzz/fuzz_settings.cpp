// The settings file: read over the defaults, written as it would be saved, and read again: what is
// saved reads back as the same file.

#include "fuzz/fuzz_target.h"

#include "config/settings.h"

using namespace vn;

VN_FUZZ_TARGET(settings)
{
    const QString ini = fuzz::writeScratch(QStringLiteral("Vornelic.ini"), fuzz::bytesOf(data, size));
    Settings s = defaultSettings(QStringLiteral("/vornelic"));
    FUZZ_CHECK(LoadSettings(s, ini));
    const QByteArray saved = settingsText(s);

    Settings again = defaultSettings(QStringLiteral("/vornelic"));
    FUZZ_CHECK(LoadSettings(again, fuzz::writeScratch(QStringLiteral("Saved.ini"), saved)));
    FUZZ_CHECK(settingsText(again) == saved);
    return 0;
}
