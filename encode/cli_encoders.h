#pragma once
// Encoding one track of a CD image with an outside tool: qaac (which reads the image itself),
// fdkaac, opusenc and FFmpeg (which read the track cut out into a temporary file). The tool writes
// into a temporary file beside the output, which takes the output's name only when the tool
// succeeded, so a failed or aborted run leaves nothing, and no existing file is ever replaced.

#include "encode/tool_tags.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>

namespace vn {

class Feedback;
struct EncoderAvailability;
struct Settings;

struct CliTrackJob {
    QString imagePath;
    uint32_t first = 0; // sample frames, inclusive
    uint32_t last = 0;
    QString outputPath; // with the extension of the tool (ffmpegContainerFor for FFmpeg)
    // A's record; in a B-tags run the list row's texts are used instead and no picture is added.
    const TagRecord* record = nullptr;
    uint8_t kind = 0;
    QByteArray discToc;
    const ListRow* listRow = nullptr; // the track's own list row
    bool bTagsRun = false;
    bool console = false; // the tool's message mode is "console"
    // For a worker of a pool, which has no Feedback: stops the tool when set.
    const std::atomic<bool>* cancel = nullptr;
    // When given, the finished file keeps its temporary name beside outputPath, which is put here,
    // and the caller names it (a run names its tracks in track order); else it takes outputPath.
    QString* unnamed = nullptr;
};

// Why an output is missing; the caller judges the run by the output file, as it always has.
enum CliEncodeCode : int {
    CliEncodeDone = 0,        // the tool succeeded and its file stands under the output name
    CliEncodeCutFailed = 1,   // the track could not be cut out of the image; the tool was not run
    CliEncodeToolFailed = 2,  // the tool could not be started, ended with an error or wrote nothing
    CliEncodeAborted = 3,     // stopped on the abort flag (or cancel)
    CliEncodeOutputTaken = 4, // a file of the output's name exists and is left alone
    CliEncodeNoTempFile = 5,  // no temporary file could be made in the TempFile or the output folder
};

// The output extension for the FFmpeg options: "." and the extension of the first FFmpeg_Containers
// item whose encoder key occurs in FFmpeg_Options; ".m4a" when none does.
QString ffmpegContainerFor(const Settings& settings);
// True when no picture goes into an FFmpeg output of this extension (FFmpeg_Omit_Pict).
bool omitPicture(const Settings& settings, const QString& extension);

// The command for one track with the tool writing toolOutputPath; the cut track and the picture go
// into temp. For the tools that read a cut track, cutCode receives cutTrack's result (CutOk when
// there was nothing to cut).
ToolCommand buildCliCommand(CliTool tool, const CliTrackJob& job, const QString& toolOutputPath,
                            const Settings& settings, TrackTempFiles& temp, int& cutCode);

// Encodes one track with the tool, its executable and options from the settings. The tool runs
// through runTool (status mark, pumps and abort through feedback when given; Batch_Log_EncCmdLn
// gets the command of a failing tool). FFmpeg's Matroska and WebM outputs then get their tags (and
// WebM its picture) from the Matroska tag writer. A CliEncodeCode; the temporary files are gone
// when it returns.
int encodeCliTrack(CliTool tool, const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                   Feedback* feedback);
int encodeQaacTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                    Feedback* feedback);
int encodeFdkaacTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                      Feedback* feedback);
int encodeOpusEncTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                       Feedback* feedback);
int encodeFfmpegTrack(const CliTrackJob& job, const Settings& settings, const EncoderAvailability& tools,
                      Feedback* feedback);

} // namespace vn
