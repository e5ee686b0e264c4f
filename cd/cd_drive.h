#pragma once
// CD drives through libcdio. A drive is named by its device path (/dev/sr0); libcdio opens a cue
// sheet with its BIN file (or another image it knows) the same way, so an image on disk reads like
// a disc in a drive.

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

typedef struct _CdIo CdIo_t;

namespace vn {

inline constexpr uint32_t SectorBytes = 2352;
inline constexpr int CdTrackLimit = 99;
// Sectors per read when the setting gives nothing usable: 27 x 2352 bytes stay within 64 KiB.
inline constexpr uint32_t DefaultBlockSectors = 27;

struct CdDriveInfo {
    QString device;
    QString volumeLabel; // the disc's CD-Text title, or the ISO 9660 volume label of a mixed disc
    QString fileSystem;  // what kind of disc it is, as libcdio names it ("CD-DA", "CD-DATA (Mode 1)", ...)
    QString vendor;      // from the drive's inquiry data
    QString product;
};

// The drive list's text: device, vendor, product, volume label and file system.
QString driveComboText(const CdDriveInfo& drive);

// The system's drives that hold a disc with audio tracks, at most capacity of them.
std::vector<CdDriveInfo> scanCdDrives(int capacity = 26);
// One device or image; nothing when it cannot be opened or holds no audio track.
std::optional<CdDriveInfo> probeCdDrive(const QString& device);
// The entry to select: the one with the saved device, else the first (-1 for an empty list).
int selectDrive(const std::vector<CdDriveInfo>& drives, const QString& savedDevice);

// The audio part of the first session: track starts and the lead-out, in sectors from the start
// of the program area.
struct CdToc {
    std::vector<uint32_t> starts;
    uint32_t leadOut = 0;
    int trackCount() const { return int(starts.size()); }
};

// The answer to READ TOC in its Full TOC form (header and 11-byte descriptors). Only the first
// complete session counts, and data tracks at its end are left out, the read then ending where
// the first of them starts. False when there is no header.
bool parseFullToc(QByteArrayView response, CdToc& toc);

// An open drive (or image). Error codes are errno values: what the system reported, else EIO.
class CdDrive {
public:
    explicit CdDrive(const QString& device);
    ~CdDrive();
    CdDrive(const CdDrive&) = delete;
    CdDrive& operator=(const CdDrive&) = delete;

    bool isOpen() const { return cdio_ != nullptr; }
    int openError() const { return openError_; }
    CdIo_t* handle() const { return cdio_; }
    bool isImage() const { return image_; }

    // 0, or an error code (ENOMEDIUM for a drive without a disc).
    int readToc(CdToc& toc) const;
    // count sectors of audio from lba into out (count x 2352 bytes). 0 or an error code.
    int readAudio(uint32_t lba, uint32_t count, char* out) const;
    // The most sectors one read may ask for.
    uint32_t blockLimit() const;
    CdDriveInfo info() const;
    // Opens the tray; the drive is closed afterwards. False when the drive cannot (an image never can).
    bool eject();

private:
    QString device_;
    CdIo_t* cdio_ = nullptr;
    int openError_ = 0;
    bool image_ = false;
};

} // namespace vn
