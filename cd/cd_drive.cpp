#include "cd/cd_drive.h"

#include "util/byte_reader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <mutex>

#include <cdio/cdio.h>
#include <cdio/cdtext.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>

namespace vn {

namespace {

// libcdio reports to stderr by default; the program reports through its own codes instead.
void quietLog(cdio_log_level_t, const char*) {}

void quietenLibcdio()
{
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(quietLog); });
}

int systemError()
{
    return errno ? errno : EIO;
}

// Between two sessions lie the first one's lead-out (6750 sectors), the next one's lead-in (4500)
// and its first track's pregap (150).
constexpr uint32_t SessionGapSectors = 11400;

// Sectors of the most a real drive takes at once, from the block layer; 0 when unknown.
uint32_t deviceBlockLimit(const QString& device)
{
    const QString name = QFileInfo(QFileInfo(device).canonicalFilePath()).fileName();
    if (name.isEmpty())
        return 0;
    QFile f(QStringLiteral("/sys/class/block/%1/queue/max_sectors_kb").arg(name));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qulonglong kb = f.readAll().trimmed().toULongLong(&ok);
    return ok ? uint32_t(std::min<qulonglong>(kb * 1024 / SectorBytes, 1u << 16)) : 0;
}

// An image has no transfer limit of its own; this only bounds the buffer one read needs (2.4 MB).
constexpr uint32_t ImageBlockLimit = 1024;

bool readFullToc(CdIo_t* cdio, CdToc& toc)
{
    QByteArray response(4096, '\0');
    mmc_cdb_t cdb{};
    cdb.field[0] = CDIO_MMC_GPCMD_READ_TOC;
    cdb.field[1] = 0x02; // addresses as MSF
    cdb.field[2] = 0x02; // Full TOC
    cdb.field[7] = uint8_t(response.size() >> 8);
    cdb.field[8] = uint8_t(response.size() & 0xff);
    if (mmc_run_cmd(cdio, 10000, &cdb, SCSI_MMC_DATA_READ, unsigned(response.size()), response.data()) != DRIVER_OP_SUCCESS)
        return false;
    return parseFullToc(response, toc);
}

// From libcdio's own track list, for images and drives that refuse the Full TOC.
int readTrackList(CdIo_t* cdio, CdToc& toc)
{
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return ENOMEDIUM;
    std::vector<uint32_t> starts;
    std::vector<bool> audio;
    for (int t = first; t < first + count && int(starts.size()) < CdTrackLimit; ++t) {
        const lsn_t lsn = cdio_get_track_lsn(cdio, track_t(t));
        if (lsn == CDIO_INVALID_LSN || lsn < 0)
            return EIO;
        starts.push_back(uint32_t(lsn));
        audio.push_back(cdio_get_track_format(cdio, track_t(t)) == TRACK_FORMAT_AUDIO);
    }
    const lsn_t discEnd = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (discEnd == CDIO_INVALID_LSN || discEnd < 0)
        return EIO;
    uint32_t leadOut = uint32_t(discEnd);
    if (!audio.back()) {
        while (!starts.empty() && !audio.back()) {
            leadOut = starts.back();
            starts.pop_back();
            audio.pop_back();
        }
        // A data track in a later session (CD-Extra): the audio session ended a session gap earlier.
        lsn_t lastSession = 0;
        if (cdio_get_last_session(cdio, &lastSession) == DRIVER_OP_SUCCESS && lastSession > 0 &&
            uint32_t(lastSession) <= leadOut && uint32_t(lastSession) >= SessionGapSectors &&
            (starts.empty() || uint32_t(lastSession) - SessionGapSectors > starts.back()))
            leadOut = uint32_t(lastSession) - SessionGapSectors;
    }
    toc.starts = std::move(starts);
    toc.leadOut = leadOut;
    return 0;
}

QString latin(const char* text)
{
    return text ? QString::fromLatin1(text).trimmed() : QString();
}

} // namespace

QString driveComboText(const CdDriveInfo& drive)
{
    return QStringLiteral("%1: %2 %3 (%4/%5)")
        .arg(drive.device, drive.vendor, drive.product, drive.volumeLabel, drive.fileSystem);
}

bool parseFullToc(QByteArrayView response, CdToc& toc)
{
    ByteReader r(response);
    const uint16_t length = r.be16();
    const uint8_t firstSession = r.u8();
    r.u8(); // last complete session
    if (!r.ok())
        return false;
    const size_t count = length >= 2 ? (length - 2) / 11 : 0;
    struct Track {
        uint32_t start;
        bool data;
    };
    std::vector<Track> tracks;
    int64_t leadOut = 0;
    for (size_t i = 0; i < count && r.has(11); ++i) {
        ByteReader d = r.sub(11);
        const uint8_t session = d.at(0);
        const uint8_t control = d.at(1) & 0x0f;
        const uint8_t point = d.at(3);
        const int64_t lba = int64_t(d.at(8)) * 4500 + int64_t(d.at(9)) * 75 + d.at(10) - 150;
        if (session != firstSession)
            continue;
        if (point >= 1 && point <= 99) {
            if (lba < 0 || int(tracks.size()) >= CdTrackLimit)
                continue;
            tracks.push_back({uint32_t(lba), (control & 0x04) != 0});
        } else if (point == 0xa2) {
            leadOut = std::max<int64_t>(lba, 0);
        }
    }
    while (!tracks.empty() && tracks.back().data) {
        leadOut = tracks.back().start;
        tracks.pop_back();
    }
    toc.starts.clear();
    for (const Track& t : tracks)
        toc.starts.push_back(t.start);
    toc.leadOut = uint32_t(leadOut);
    return true;
}

std::vector<CdDriveInfo> scanCdDrives(int capacity)
{
    quietenLibcdio();
    std::vector<CdDriveInfo> found;
    char** devices = cdio_get_devices(DRIVER_DEVICE);
    for (char** d = devices; d && *d && int(found.size()) < capacity; ++d) {
        if (std::optional<CdDriveInfo> info = probeCdDrive(QString::fromLocal8Bit(*d)))
            found.push_back(*info);
    }
    if (devices)
        cdio_free_device_list(devices);
    return found;
}

std::optional<CdDriveInfo> probeCdDrive(const QString& device)
{
    CdDrive drive(device);
    if (!drive.isOpen())
        return std::nullopt;
    CdToc toc;
    if (drive.readToc(toc) != 0 || toc.starts.empty())
        return std::nullopt;
    return drive.info();
}

int selectDrive(const std::vector<CdDriveInfo>& drives, const QString& savedDevice)
{
    for (size_t i = 0; i < drives.size(); ++i) {
        if (drives[i].device == savedDevice)
            return int(i);
    }
    return drives.empty() ? -1 : 0;
}

CdDrive::CdDrive(const QString& device) : device_(device)
{
    quietenLibcdio();
    errno = 0;
    const QByteArray path = QFile::encodeName(device);
    if (path.isEmpty()) {
        openError_ = ENOENT;
        return;
    }
    cdio_ = cdio_open(path.constData(), DRIVER_UNKNOWN);
    if (!cdio_) {
        openError_ = QFileInfo::exists(device) ? systemError() : ENOENT;
        return;
    }
    const driver_id_t driver = cdio_get_driver_id(cdio_);
    image_ = driver == DRIVER_BINCUE || driver == DRIVER_NRG || driver == DRIVER_CDRDAO;
}

CdDrive::~CdDrive()
{
    if (cdio_)
        cdio_destroy(cdio_);
}

int CdDrive::readToc(CdToc& toc) const
{
    if (!cdio_)
        return openError_ ? openError_ : ENODEV;
    toc = CdToc{};
    if (!image_ && readFullToc(cdio_, toc))
        return 0;
    return readTrackList(cdio_, toc);
}

int CdDrive::readAudio(uint32_t lba, uint32_t count, char* out) const
{
    if (!cdio_)
        return ENODEV;
    errno = 0;
    if (cdio_read_audio_sectors(cdio_, out, lsn_t(lba), count) != DRIVER_OP_SUCCESS)
        return systemError();
    return 0;
}

uint32_t CdDrive::blockLimit() const
{
    if (image_)
        return ImageBlockLimit;
    const uint32_t limit = deviceBlockLimit(device_);
    return limit ? limit : DefaultBlockSectors;
}

CdDriveInfo CdDrive::info() const
{
    CdDriveInfo info;
    info.device = device_;
    if (!cdio_)
        return info;
    cdio_hwinfo_t hw{};
    if (cdio_get_hwinfo(cdio_, &hw)) {
        info.vendor = latin(hw.psz_vendor);
        info.product = latin(hw.psz_model);
    }
    if (cdtext_t* text = cdio_get_cdtext(cdio_)) {
        if (const char* title = cdtext_get_const(text, CDTEXT_FIELD_TITLE, 0))
            info.volumeLabel = QString::fromUtf8(title).trimmed();
    }
    const discmode_t mode = cdio_get_discmode(cdio_);
    if (unsigned(mode) <= unsigned(CDIO_DISC_MODE_ERROR))
        info.fileSystem = latin(discmode2str[mode]);
    return info;
}

bool CdDrive::eject()
{
    if (!cdio_ || image_)
        return false;
    // libcdio closes the drive whatever the result.
    return cdio_eject_media(&cdio_) == DRIVER_OP_SUCCESS;
}

} // namespace vn
