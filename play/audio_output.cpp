#include "play/audio_output.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QtGlobal>

namespace vn {

void chooseMediaBackend()
{
    static const bool chosen = [] {
        if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND"))
            qputenv("QT_MEDIA_BACKEND", QByteArrayLiteral("ffmpeg"));
        return true;
    }();
    (void)chosen;
}

bool haveAudioOutput()
{
    chooseMediaBackend();
    return !QMediaDevices::defaultAudioOutput().isNull();
}

} // namespace vn
