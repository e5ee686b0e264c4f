#include "cd/paranoia_reader.h"

#include <algorithm>
#include <cstring>

#define DO_NOT_WANT_PARANOIA_COMPATIBILITY
#include <cdio/cdio.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

namespace vn {

namespace {

// Retries of one stretch before paranoia gives up on it.
constexpr int MaxRetries = 20;
// Tries of the plain read of a block where paranoia met trouble.
constexpr int PlainTries = 3;
// Paranoia's callback positions count 16-bit samples.
constexpr long WordsPerSector = SectorBytes / 2;

// Paranoia's callback carries no context of its own; the reads run on the calling thread only.
thread_local int activeSpan = 1;
thread_local std::vector<std::pair<int64_t, int64_t>>* activeTrouble = nullptr;

void noteTrouble(long position, paranoia_cb_mode_t mode)
{
    if (!activeTrouble)
        return;
    const int64_t sector = position / WordsPerSector;
    // A failed read zeroes the rest of its request; a skip gives up on the stretch around it.
    if (mode == PARANOIA_CB_READERR)
        activeTrouble->push_back({sector, sector + activeSpan});
    else if (mode == PARANOIA_CB_SKIP)
        activeTrouble->push_back({sector - activeSpan, sector + activeSpan});
}

} // namespace

struct ParanoiaCallbackScope {
    ParanoiaCallbackScope(ParanoiaReader& reader, int span)
    {
        activeSpan = std::max(span, 1);
        activeTrouble = &reader.trouble_;
    }
    ~ParanoiaCallbackScope()
    {
        activeTrouble = nullptr;
    }
};

ParanoiaReader::ParanoiaReader(const CdDrive& drive) : drive_(drive)
{
    if (!drive.handle())
        return;
    cdda_ = cdio_cddap_identify_cdio(drive.handle(), CDDA_MESSAGE_FORGETIT, nullptr);
    if (!cdda_)
        return;
    // Audio from an MMC drive, as from an image, is little-endian; guessing it from the music
    // can guess wrong on noise-like passages and swap every sample.
    cdda_->bigendianp = 0;
    if (cdio_cddap_open(cdda_) != 0)
        return;
    paranoia_ = cdio_paranoia_init(cdda_);
    if (paranoia_)
        cdio_paranoia_modeset(paranoia_, PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
}

ParanoiaReader::~ParanoiaReader()
{
    if (paranoia_)
        cdio_paranoia_free(paranoia_);
    if (cdda_)
        cdio_cddap_close_no_free_cdio(cdda_);
}

bool ParanoiaReader::troubleWithin(uint32_t first, uint32_t end) const
{
    return std::any_of(trouble_.begin(), trouble_.end(),
                       [&](const auto& range) { return range.first < int64_t(end) && range.second > int64_t(first); });
}

int ParanoiaReader::read(uint32_t lba, uint32_t count, char* out)
{
    if (!paranoia_)
        return ENODEV;
    if (cursor_ != int64_t(lba)) {
        cdio_paranoia_seek(paranoia_, int32_t(lba), SEEK_SET);
        cursor_ = lba;
    }
    bool failed = false;
    {
        ParanoiaCallbackScope scope(*this, cdda_->nsectors);
        for (uint32_t i = 0; i < count; ++i) {
            const int16_t* sector = cdio_paranoia_read_limited(paranoia_, noteTrouble, MaxRetries);
            if (sector) {
                std::memcpy(out + size_t(i) * SectorBytes, sector, SectorBytes);
            } else {
                failed = true;
                std::memset(out + size_t(i) * SectorBytes, 0, SectorBytes);
            }
        }
    }
    cursor_ += count;
    if (!failed && !troubleWithin(lba, lba + count))
        return 0;
    int code = 0;
    for (int k = 0; k < PlainTries; ++k) {
        code = drive_.readAudio(lba, count, out);
        if (code == 0)
            break;
    }
    // Paranoia's own reads have passed this block; ranges behind it are of no further use.
    std::erase_if(trouble_, [&](const auto& range) { return range.second <= int64_t(lba + count); });
    return code;
}

} // namespace vn
