// The FLAC loop of Encoding B.
#include "config/settings.h"
#include "encode/encoding_b.h"
#include "encode/flac_encoder.h"
#include "util/safe_file.h"

namespace vn {

int encodeFlacTracks(const ImageRun& run, const PairList& pairs, int count, EncodeOutcome& outcome)
{
    const FlacLibrary& library = flacLibrary();
    if (!library.available)
        return EncodeNoEncoder;
    FlacImage image;
    if (const int code = openFlacImage(run.cue, image); code != FlacOk)
        return code;
    std::vector<TrackPlan> plans(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        if (!planTrack(run, pairs[size_t(i)], i, QStringLiteral(".flac"), plans[size_t(i)]))
            return EncodeBadPair;
    }
    const FlacParameters parameters{run.settings.Flac_Comp_Level, run.settings.Flac_Block_Size,
                                    run.settings.Flac_Meta_Pad};
    const TrackJob job = [&](const TrackPlan& plan, PendingFile& pending, const TrackProgress& progress) {
        if (nameTaken(plan.outputPath))
            return int(FlacCannotCreate);
        // A range that ends before it starts is cut short at once, as the image ending inside it
        // would have done after reading the whole rest of the image.
        if (plan.first < image.totalFrames && plan.last + 1 < plan.first)
            return int(FlacImageEnded);
        const FlacTags tags =
            run.bTags ? flacCommentsFromList(run.state.rows[size_t(plan.listRow)], run.cue.discToc, library.version)
                      : flacCommentsFromRecord(run.state.a.files[size_t(plan.aIndex)].record,
                                               run.state.a.files[size_t(plan.aIndex)].header.version, run.cue.discToc,
                                               library.version);
        auto file = std::make_unique<NewFile>(plan.outputPath);
        if (!file->open()) {
            pending.error = file->error();
            return int(FlacCannotCreate);
        }
        const int code = encodeFlacTrack(image, *file, plan.first, plan.last + 1 - plan.first, tags, parameters, progress);
        if (code != FlacOk) {
            pending.error = file->error(); // the system's cause, when the file was what failed
            return code;
        }
        pending.file = std::move(file);
        pending.path = plan.outputPath;
        return int(FlacOk);
    };
    TrackPoolSettings s = poolSettings(run, QStringLiteral("Flac"));
    s.nameTakenCode = FlacCannotCreate;
    return runEncoderPool(run, plans, job, s, outcome);
}

} // namespace vn
