// Drives: an image opened as a drive, the drive list's text and the choice of the saved drive.
#include "cd/cd_drive.h"
#include "support/cd_fixtures.h"

#include <gtest/gtest.h>

using namespace vn;
using namespace vn::test;

TEST(CdDrive, ImageOpensAsADriveWithItsAudioTracks)
{
    QTemporaryDir dir;
    const DiscImage disc = makeDiscImage(dir.path(), "disc", {0, 500, 1100}, 1500, 300);
    CdDrive drive(disc.cuePath);
    ASSERT_TRUE(drive.isOpen());
    EXPECT_TRUE(drive.isImage());
    CdToc toc;
    ASSERT_EQ(drive.readToc(toc), 0);
    EXPECT_EQ(toc.starts, (std::vector<uint32_t>{0, 500, 1100}));
    EXPECT_EQ(toc.leadOut, 1500u); // where the data track begins

    QByteArray sectors(3 * SectorSize, '\0');
    ASSERT_EQ(drive.readAudio(499, 3, sectors.data()), 0);
    EXPECT_EQ(sectors, disc.audio.sliced(499 * SectorSize, 3 * SectorSize));
    EXPECT_FALSE(drive.eject()); // an image has no tray

    const std::optional<CdDriveInfo> info = probeCdDrive(disc.cuePath);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->device, disc.cuePath);
    EXPECT_FALSE(info->vendor.isEmpty());
    EXPECT_TRUE(driveComboText(*info).startsWith(disc.cuePath + ": " + info->vendor + QLatin1Char(' ')));
}

TEST(CdDrive, WhatHoldsNoAudioIsNoDrive)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("data.bin"), QByteArray(200 * SectorSize, '\x22'));
    writeFile(dir.filePath("data.cue"), "FILE \"data.bin\" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n");
    EXPECT_FALSE(probeCdDrive(dir.filePath("data.cue")));
    EXPECT_FALSE(probeCdDrive(dir.filePath("absent.cue")));
    writeFile(dir.filePath("junk.cue"), "FILE \"nothing.bin\" BINARY\n  TRACK 01 AUDIO\n");
    EXPECT_FALSE(probeCdDrive(dir.filePath("junk.cue")));
    CdDrive absent(dir.filePath("absent.cue"));
    EXPECT_FALSE(absent.isOpen());
    EXPECT_EQ(absent.openError(), ENOENT);
}

TEST(CdDrive, ComboTextAndTheSavedDrive)
{
    const CdDriveInfo first{"/dev/sr0", "Audio CD", "CD-DA",
                            "HL-DT-ST", "DVDRAM GH24NSD1"};
    EXPECT_EQ(driveComboText(first), "/dev/sr0: HL-DT-ST DVDRAM GH24NSD1 (Audio CD/CD-DA)");
    CdDriveInfo second = first;
    second.device = "/dev/sr1";
    EXPECT_EQ(selectDrive({first, second}, "/dev/sr1"), 1);
    EXPECT_EQ(selectDrive({first, second}, "/dev/sr7"), 0);
    EXPECT_EQ(selectDrive({}, "/dev/sr0"), -1);
}
