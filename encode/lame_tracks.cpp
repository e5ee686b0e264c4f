// The LAME loop of Encoding B: each track's file is its ID3v2 tag followed by the encoded stream.
#include "config/settings.h"
#include "encode/encoding_b.h"
#include "encode/lame_encoder.h"
#include "encode/lame_id3_tag.h"
#include "util/safe_file.h"

namespace vn {

namespace {

LameTagSource tagSource(const ImageRun& run, const TrackPlan& plan)
{
    LameTagSource source;
    const std::vector<ListRow>& rows = run.state.rows;
    source.listRow = size_t(plan.listRow) < rows.size() ? &rows[size_t(plan.listRow)] : nullptr;
    if (run.bTags)
        return source;
    const FileTags& a = run.state.a.files[size_t(plan.aIndex)];
    const bool mp3 = run.state.a.names[size_t(plan.aIndex)].endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive);
    // Only an MP3 whose tag could be read has frames to copy; any other A file gives its texts
    // through the list and its picture from its record.
    if (mp3 && isId3Kind(a.header.version)) {
        source.version = a.header.version;
        source.revision = a.header.revision;
        source.flags = id3WrittenFlags(a.header);
        source.copyFrom = &a;
        source.listRow = nullptr;
    } else if (!mp3) {
        source.pictureRecord = &a.record;
        source.pictureKind = a.header.version;
    }
    return source;
}

} // namespace

int encodeLameTracks(const ImageRun& run, const PairList& pairs, int count, EncodeOutcome& outcome)
{
    const LameLibrary& library = lameLibrary();
    if (!library.available)
        return EncodeNoEncoder;
    std::vector<TrackPlan> plans(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        if (!planTrack(run, pairs[size_t(i)], i, QStringLiteral(".mp3"), plans[size_t(i)]))
            return EncodeBadPair;
    }
    const LameConfig config = lameConfigFrom(run.settings, run.cue.sampleRate());
    const QString versionText = lameVersionText(library);
    const QString settingsText = lameSettingsText(run.settings, versionText);

    const TrackJob job = [&](const TrackPlan& plan, PendingFile& pending, const TrackProgress& progress) {
        // A file of that name is never replaced; it stops the run before any work is spent on it.
        if (nameTaken(plan.outputPath))
            return int(LameOutputNotCreated);
        LameTagSource source = tagSource(run, plan);
        source.encodedBy = versionText;
        source.encoderSettings = settingsText;
        source.length = lameLengthText(plan.last >= plan.first ? plan.last - plan.first + 1 : 0, run.cue);
        source.discToc = run.cue.discToc;
        const QByteArray tag = lameId3Tag(source, run.settings.ID3_Blk, run.settings.ID3_Pad);
        auto file = std::make_unique<NewFile>(plan.outputPath);
        // The system's cause of a failure goes with its code.
        const auto failed = [&](int code) {
            pending.error = file->error();
            return code;
        };
        if (!file->open())
            return failed(int(LameCannotCreate));
        if (tag.isEmpty() || !file->write(tag.constData(), tag.size()))
            return failed(int(LameOutputNotCreated));
        const int code = encodeLameTrack(run.cue, plan.first, plan.last, config, *file, uint64_t(tag.size()), progress);
        if (code != LameOk)
            return failed(code);
        pending.file = std::move(file);
        pending.path = plan.outputPath;
        return int(LameOk);
    };
    TrackPoolSettings s = poolSettings(run, QStringLiteral("LAME"));
    s.nameTakenCode = LameOutputNotCreated;
    s.percentPart = true;
    return runEncoderPool(run, plans, job, s, outcome);
}

} // namespace vn
