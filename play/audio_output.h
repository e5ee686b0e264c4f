#pragma once
// The audio output both players play on: Qt Multimedia's default output device.

namespace vn {

// Chooses the FFmpeg back end of Qt Multimedia (it decodes every format the program reads with the
// FFmpeg libraries already installed) unless QT_MEDIA_BACKEND names another. Call before any other
// use of Qt Multimedia in the process; later calls do nothing.
void chooseMediaBackend();

// True when the system offers an audio output device (a sound server is reachable).
bool haveAudioOutput();

} // namespace vn
