#pragma once
// Shared by the Replace Tags and Move Files tests: MP3 files assembled byte by byte, and folders A, B,
// temp and backup with settings pointing at them.

#include "config/settings.h"
#include "session/compare.h"
#include "support/mp3_fixtures.h"
#include "support/recording_feedback.h"
#include "support/test_support.h"

#include <QDir>
#include <gtest/gtest.h>

namespace vn::test {

// A row's frame for the version: text rows a Latin-1 text, COMM with its language, APIC/PIC a PNG
// marker and the text, MCDI the text's bytes.
inline QByteArray rowFrame(uint8_t version, int row, const QByteArray& text)
{
    // The frames of the tag rows in row order, as ID3v2.3/2.4 and ID3v2.2 name them.
    static const char* const ids[][2] = {{"TALB", "TAL"}, {"TPE1", "TP1"}, {"TPE2", "TP2"}, {"TIT2", "TT2"},
                                         {"TRCK", "TRK"}, {"TPOS", "TPA"}, {"TYER", "TYE"}, {"TCON", "TCO"},
                                         {"COMM", "COM"}, {"TCOM", "TCM"}, {"TENC", "TEN"}, {"TSSE", "TSS"},
                                         {"TLEN", "TLE"}, {"APIC", "PIC"}, {"MCDI", "MCI"}};
    QByteArray data = QByteArray(1, '\0') + text;
    if (row == RowComment)
        data = QByteArray("\0eng\0", 5) + text;
    else if (row == RowPicture)
        data = QByteArray(1, '\0') + (version == 2 ? QByteArray("PNG") : QByteArray("image/png", 10)) +
               QByteArray("\x03\0\x89PNG", 6) + text;
    else if (row == RowCdIdentifier)
        data = text;
    return id3Frame(version, ids[row][version == 2 ? 1 : 0], data);
}

inline void writeMp3(const QString& folder, const QString& name, uint8_t version, const QByteArray& frames,
                     const QByteArray& audio, uint8_t flags = 0, int padding = 16)
{
    ASSERT_TRUE(writeFile(QDir(folder).filePath(name), id3Tag(version, frames + QByteArray(padding, '\0'), 0, flags) + audio));
}

// A written file's header, tag body (frames and padding) and what follows the tag.
struct Mp3Parts {
    QByteArray header, body, audio;
};
inline Mp3Parts splitMp3(const QByteArray& file)
{
    const auto b = [&](int i) { return uint32_t(uint8_t(file[i])); };
    if (file.size() < 10 || !file.startsWith("ID3"))
        return {};
    const uint32_t size = b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9);
    return {file.left(10), file.mid(10, size), file.mid(10 + size)};
}

class EncodeFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f : {"A", "B", "temp", "bkup", "out"})
            QDir(dir.path()).mkpath(QLatin1String(f));
        a = dir.filePath(QStringLiteral("A"));
        b = dir.filePath(QStringLiteral("B"));
        settings = defaultSettings(dir.path());
        settings.ExtPriorityList = splitExtPriority(settings.FileExtPriority);
        settings.Path_Temp = dir.filePath(QStringLiteral("temp"));
        settings.Path_Bkup = dir.filePath(QStringLiteral("bkup"));
        settings.Path_Otpt = dir.filePath(QStringLiteral("out"));
        settings.ID3_Blk = settings.ID3_Pad = 0;
    }
    int compare(int offset = 0)
    {
        state.folderA = a;
        state.folderB = b;
        state.trackOffsetB = offset;
        return compareAB(state, settings.ExtPriorityList, 0, silent);
    }
    QString temp(const QString& name) const { return QDir(settings.Path_Temp).filePath(name); }

    QTemporaryDir dir;
    QString a, b;
    Settings settings;
    ComparisonState state;
    RecordingFeedback feedback;
    SilentFeedback silent;
};

} // namespace vn::test
