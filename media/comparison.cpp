#include "media/comparison.h"

#include "media/field_to_text.h"
#include "util/byte_reader.h"
#include "util/file_name.h"
#include "util/text_codec.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace vn {

namespace {

// Field texts are shown up to this many characters, the size of the list's row buffer.
constexpr int CellCapacity = 16384;

// "%d.%03d" without trailing zeros, and without the point when nothing follows it.
QString thousandths(uint64_t whole, uint64_t fraction)
{
    QString text = QString::asprintf("%llu.%03llu", static_cast<unsigned long long>(whole),
                                     static_cast<unsigned long long>(fraction));
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

QString utf8At(const TagValue& v)
{
    if (!v.present())
        return {};
    return decodeText(v.bytes(), CpUtf8);
}

QString waveCodec(uint16_t formatTag)
{
    switch (formatTag) {
    case 1:
        return QStringLiteral("PCM");
    case 3:
        return QStringLiteral("IEEE float");
    case 6:
        return QStringLiteral("A-law");
    case 7:
        return QStringLiteral("mu-law");
    case 0xfffe:
        return QStringLiteral("extensible");
    default:
        return QStringLiteral("unknown");
    }
}

void streamFacts(ListRow& cells, const FileTags& file)
{
    const TagRecord& r = file.record;
    auto cell = [&](int row) -> QString& { return cells[size_t(3 + row)]; };
    const uint8_t kind = file.header.version;
    if (isId3Kind(kind)) {
        const MpegStreamInfo& info = file.mpegInfo;
        const uint32_t rate = file.mpegHeader.sampleRate;
        cell(RowCodec) = mpegCodecText(file.mpegHeader, info);
        cell(RowBitsPerSample) = QString::number(r[RowBitsPerSample].size);
        cell(RowBitrate) = bitRateText(info);
        cell(RowSampleRate) = QString::number(rate);
        cell(RowDuration) = durationText(info.sampleCount, rate);
        cell(RowDataSize) = QString::number(info.dataSize);
        return;
    }
    const uint32_t rate = r[RowSampleRate].size;
    const uint64_t samples = r[RowDuration].size;
    const uint64_t dataSize = r[RowDataSize].size;
    switch (kind) {
    case KindWave: {
        const uint32_t bitsPerSecond = r[RowBitrate].size;
        cell(RowCodec) = waveCodec(ByteReader(r[RowCodec].bytes()).le16At(20));
        cell(RowBitrate) = thousandths(bitsPerSecond / 1000, bitsPerSecond % 1000);
        break;
    }
    case KindMp4: {
        const QByteArray entry = r[RowCodec].bytes().toByteArray().left(4);
        cell(RowCodec) = QStringLiteral("MPEG-4 '%1'").arg(QString::fromLatin1(entry));
        const uint64_t average = r[RowBitrate].size;
        if (average != 0)
            cell(RowBitrate) = QStringLiteral("%1 (max%2)").arg((average + 500) / 1000).arg((uint64_t(r[RowBitrate].number) + 500) / 1000);
        else if (samples != 0)
            cell(RowBitrate) = QString::number((dataSize * rate + samples * 125 / 2) / (samples * 125));
        break;
    }
    case KindFlac: {
        cell(RowCodec) = utf8At(r[RowCodec]);
        if (samples != 0) {
            const uint64_t b = (dataSize * 8 * rate + samples / 2) / samples;
            cell(RowBitrate) = thousandths(b / 1000, b % 1000);
        }
        break;
    }
    case KindMatroska:
    case KindWebm:
        for (int row = RowCodec; row < TagRowCount; ++row)
            cell(row) = utf8At(r[size_t(row)]);
        return;
    default:
        return;
    }
    cell(RowBitsPerSample) = QString::number(r[RowBitsPerSample].size);
    cell(RowSampleRate) = QString::number(rate);
    cell(RowDuration) = durationText(samples, rate);
    cell(RowDataSize) = QString::number(dataSize);
}

} // namespace

QString listColumnName(int column)
{
    if (column < 0 || column >= ListColumnCount)
        return {};
    if (column < 3)
        return QString::fromLatin1(ListLeadColumns[size_t(column)]);
    return QString::fromLatin1(TagFieldTable[size_t(column - 3)].displayName);
}

QString compareErrorText(int code)
{
    switch (code) {
    case CompareNoFolderA:
        return QStringLiteral("Error : Folder-A not exists");
    case CompareNoAudioA:
        return QStringLiteral("Error : No audio file in Folder-A");
    case CompareNoFolderB:
        return QStringLiteral("Error : Folder-B not exists");
    case CompareNoAudioB:
        return QStringLiteral("Error : No audio file in Folder-B");
    case CompareIllegalCueSheet:
        return QStringLiteral("Error : Illegal Cue sheet");
    default:
        return {};
    }
}

QString compareProblemText(int code, const QString& folderA, const QString& folderB, int cueCodePage)
{
    const QString& folder = code <= CompareNoAudioA ? folderA : folderB;
    auto about = [&](const QString& cause) {
        return cause.isEmpty() ? QString() : QDir::toNativeSeparators(displayPath(folder)) + QStringLiteral(": ") + cause;
    };
    switch (code) {
    case CompareNoFolderA:
    case CompareNoFolderB: {
        if (folder.isEmpty())
            return QStringLiteral("no folder given");
        const QString problem = readProblem(folder);
        // Nothing to complain of as a file: then it is a file, where a folder should be.
        return about(problem.isEmpty() ? QStringLiteral("is a file, not a folder") : problem);
    }
    case CompareNoAudioA:
    case CompareNoAudioB:
        return about(folderListingProblem(folder));
    case CompareIllegalCueSheet: {
        CueSheet sheet;
        parseCueSheet(folderB, CueTrackLimit, cueCodePage, sheet);
        return sheet.problem;
    }
    default:
        return {};
    }
}

void clearComparison(ComparisonState& state)
{
    state.a = FileList{};
    state.b = FileList{};
    state.cue.reset();
    state.rows.clear();
}

ListRow buildListRow(int row, const QString& fileName, const FileTags& file)
{
    ListRow cells;
    cells[0] = QStringLiteral("%1%2").arg(QChar(row % 2 ? u'B' : u'A')).arg(row / 2 + 1);
    cells[1] = displayPath(fileName);
    cells[2] = tagKindName(file.header.version);
    for (int r = 0; r <= RowCdIdentifier; ++r)
        fieldToText(cells[size_t(3 + r)], CellCapacity, file.record, r, file.header.version);
    streamFacts(cells, file);
    return cells;
}

ListRow buildCueTrackRow(int p, int trackOffsetB, const CueSheet& cue)
{
    ListRow cells;
    const int t = p - trackOffsetB;
    if (t < 1 || t > cue.trackCount)
        return cells;
    auto cell = [&](int row) -> QString& { return cells[size_t(3 + row)]; };
    const QFileInfo image(cue.imagePath);
    const QString stem = image.fileName().section(QLatin1Char('.'), 0, 0);
    const uint64_t byteRate = cue.byteRate();
    const uint64_t start = cue.trackStarts[size_t(t - 1)];
    const uint64_t delta = cue.trackStarts[size_t(t)] - start;
    // A broken image header with no byte rate shows no times rather than dividing by zero.
    auto rounded = [&](uint64_t numerator) { return byteRate ? (numerator + byteRate / 2) / byteRate : 0; };

    cells[0] = QStringLiteral("B%1").arg(p);
    cells[1] = QString::asprintf("%02d_", t) + stem;
    cells[2] = image.suffix();
    cell(RowAlbum) = cue.titles[0].isNull() ? stem : cue.titles[0];
    cell(RowArtist) = cue.performers[size_t(t)];
    cell(RowAlbumArtist) = cue.performers[0];
    if (!cue.titles[size_t(t)].isNull()) {
        cell(RowTitle) = cue.titles[size_t(t)];
    } else {
        const uint64_t from = rounded((start - cue.trackStarts[0]) * 4);
        const uint64_t length = rounded(delta * 4);
        cell(RowTitle) = QString::asprintf("Track %02d %02d:%02d / %02d:%02d", t, int(from / 60), int(from % 60),
                                           int(length / 60), int(length % 60));
    }
    cell(RowTrack) = QString::number(p);
    cell(RowEncodedBy) = QStringLiteral("LPCM");
    cell(RowEncoderSettings) = QStringLiteral("LPCM");
    cell(RowLength) = QString::number(rounded(delta * 4 * 1000));
    cell(RowCdIdentifier) = QString::fromLatin1(cue.discToc);
    cell(RowCodec) = cue.formatTag() == 1 ? QStringLiteral("PCM") : QString();
    cell(RowBitsPerSample) = QString::number(cue.bitsPerSample());
    cell(RowBitrate) = thousandths(byteRate / 125, byteRate % 125 * 8);
    cell(RowSampleRate) = QString::number(cue.sampleRate());
    uint64_t t10 = rounded(delta * 4 * 10);
    if (t10 >= 60000)
        t10 %= 60000;
    cell(RowDuration) = QString::asprintf("%02u:%02u.%1u", unsigned(t10 / 600), unsigned(t10 / 10 % 60), unsigned(t10 % 10));
    cell(RowDataSize) = QString::number(delta * 4);
    return cells;
}

int checkTagVersions(const ComparisonState& state)
{
    auto sameKind = [](const FileList& side) {
        return std::all_of(side.files.begin(), side.files.end(),
                           [&](const FileTags& f) { return f.header.version == side.files.front().header.version; });
    };
    if (state.a.files.empty() || !sameKind(state.a))
        return 1;
    if (state.cue)
        return 0;
    if (state.b.files.empty() || !sameKind(state.b))
        return 2;
    const uint8_t kindA = state.a.files.front().header.version;
    const uint8_t kindB = state.b.files.front().header.version;
    if (!isId3Kind(kindA))
        return 3;
    if (!isId3Kind(kindB))
        return 4;
    return kindA == kindB ? 0 : 5;
}

} // namespace vn
