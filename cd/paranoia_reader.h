#pragma once
// Verified audio reads through libcdio-paranoia: overlapping reads compared with each other, jitter
// corrected, failed reads retried. Where paranoia met a read error, the block is read once more
// plainly, so a sector that stays unreadable is reported instead of being written as silence.

#include "cd/cd_drive.h"

#include <cstdint>
#include <utility>
#include <vector>

typedef struct cdrom_drive_s cdrom_drive_t;
typedef struct cdrom_paranoia_s cdrom_paranoia_t;

namespace vn {

class ParanoiaReader {
public:
    explicit ParanoiaReader(const CdDrive& drive);
    ~ParanoiaReader();
    ParanoiaReader(const ParanoiaReader&) = delete;
    ParanoiaReader& operator=(const ParanoiaReader&) = delete;

    bool isOpen() const { return paranoia_ != nullptr; }
    // count sectors from lba into out; 0 or the system's error code of the read that failed.
    int read(uint32_t lba, uint32_t count, char* out);

private:
    bool troubleWithin(uint32_t first, uint32_t end) const;

    const CdDrive& drive_;
    cdrom_drive_t* cdda_ = nullptr;
    cdrom_paranoia_t* paranoia_ = nullptr;
    int64_t cursor_ = -1;
    // Sector ranges [first, end) where paranoia reported a failed read or gave up.
    std::vector<std::pair<int64_t, int64_t>> trouble_;

    friend struct ParanoiaCallbackScope;
};

} // namespace vn
