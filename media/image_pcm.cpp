#include "media/image_pcm.h"

#include <algorithm>

namespace vn {

FrameRange trackFrames(const CueSheet& cue, int track)
{
    if (track < 1 || track > cue.trackCount || track >= CueTrackLimit)
        return {};
    return {cue.trackStarts[size_t(track - 1)], cue.trackStarts[size_t(track)]};
}

ImagePcm::ImagePcm(const CueSheet& cue)
    : file_(cue.imagePath), dataOffset_(uint64_t(std::max(cue.dataOffset, 0))),
      frameBytes_(cue.blockAlign() ? cue.blockAlign() : 4)
{
}

uint64_t ImagePcm::framesInFile() const
{
    return file_.size() > dataOffset_ ? (file_.size() - dataOffset_) / frameBytes_ : 0;
}

uint32_t ImagePcm::read(uint64_t first, uint32_t maxFrames, QByteArray& out) const
{
    const uint64_t available = framesInFile();
    const uint64_t n = first < available ? std::min<uint64_t>(maxFrames, available - first) : 0;
    out.resize(qsizetype(n * frameBytes_));
    const qsizetype got = n ? file_.readInto(dataOffset_ + first * frameBytes_, out.data(), out.size()) : 0;
    const uint32_t frames = uint32_t(uint64_t(got) / frameBytes_);
    out.resize(qsizetype(frames) * frameBytes_);
    return frames;
}

} // namespace vn
