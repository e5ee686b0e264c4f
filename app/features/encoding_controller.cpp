#include "app/features/encoding_controller.h"

#include "cd/cddb_query.h"

#include "app/dialogs/browse_folder.h"
#include "app/widgets/comparison_model.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/window_controls.h"
#include "config/settings.h"
#include "encode/encoding_b_tools.h"
#include "encode/move_files.h"
#include "session/session.h"
#include "util/file_name.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

#include <algorithm>

namespace vn {

int runEncodingB(FeatureContext& c, bool bTags)
{
    const OutsideTools tools = outsideTools(c.encoders);
    EncodeOptions options;
    options.backupMode = c.modes.backupMode;
    options.bTags = bTags;
    options.tools = &tools;
    EncodeOutcome outcome;
    int n;
    {
        const JobScope job(c.router);
        n = c.session.encode(c.settings, options, c.feedback, outcome);
    }
    if (n == SessionBusy || outcome.precheck != 0)
        return n;
    if (outcome.levelCode == LevelTooFewLevels)
        showMessage(c.window, writeReplacedErrorText(WriteNoLevelFolder, c.session.state().folderA),
                    QString::fromLatin1(EncodingBCaption), MessageButtons::Ok, MessageIcon::Warning);
    if (c.modes.backupMode && outcome.levelCode == 0) {
        c.router.setEnabled(BtnMoveFiles, true);
        c.router.setEnabled(CmdMoveFiles, true);
    }
    return n;
}

EncodingController::EncodingController(FeatureContext& context) : c_(context)
{
    c_.router.add({CmdEncodeImage}, [this](int) { encodeImageWithBTags(); });
    c_.router.add({CmdEncodeImages}, [this](int) { encodeImagesWithBTags(); });
}

void EncodingController::showComparison()
{
    std::vector<ComparisonRow> rows;
    rows.reserve(c_.session.state().rows.size());
    for (const ListRow& cells : c_.session.state().rows)
        rows.push_back(ComparisonRow{cells, 0});
    c_.list.setRows(std::move(rows));
}

// The current CD image with its own tags, into the Output folder.
void EncodingController::encodeImageWithBTags()
{
    // Both commands are for CD image mode; the menu grays them otherwise.
    if (c_.modes.folderBMode)
        return;
    if (c_.modes.backupMode)
        c_.router.run(BtnModeBackup);
    c_.controls.editOffset->setText(QStringLiteral("0"));
    c_.router.run(BtnCompare);
    // A compare that failed has said why.
    if (!c_.session.state().cue)
        return;
    runEncodingB(c_, true);
}

// Every cue sheet of a folder with its own tags, one image after the other; "Abort Batch" skips the
// images after the current one.
void EncodingController::encodeImagesWithBTags()
{
    if (c_.modes.folderBMode)
        return;
    takeEditedPaths(c_);
    Settings& s = c_.settings;
    QString folder;
    const QString start = QFileInfo(s.Path_Cue).path();
    if (BrowseFolder(c_.window, QStringLiteral("Select a folder for CD image files to be batch encoded."), start,
                     folder, 260) != 1)
        return;
    QStringList sheets;
    for (const QString& name : listFiles(folder)) {
        if (name.endsWith(QStringLiteral(".cue"), Qt::CaseInsensitive))
            sheets << name;
    }
    if (sheets.isEmpty())
        return;
    // In name order, as the folder lists them where cue sheets are usually made.
    std::sort(sheets.begin(), sheets.end(),
              [](const QString& x, const QString& y) { return x.compare(y, Qt::CaseInsensitive) < 0; });

    // What stood in the list goes: each image is listed on its own, with no A side.
    FeatureHooks::fire(c_.hooks.beforeCompare);
    for (int id : {BtnReplace, CmdReplace, BtnMoveFiles, CmdMoveFiles})
        c_.router.setEnabled(id, false);
    c_.controls.editA->clear();
    c_.feedback.setStatus(0, QStringLiteral("mCDiE"));
    c_.feedback.setStatus(1, QStringLiteral("Encoding Multiple CDimages"));
    if (c_.modes.backupMode)
        c_.router.run(BtnModeBackup);
    bool listed = false;
    {
        const JobScope job(c_.router);
        for (const QString& name : sheets) {
            if (c_.feedback.abortRequested())
                break;
            listed = encodeFolderImage(QDir(folder).filePath(name)) || listed;
        }
    }
    c_.feedback.setStatus(0, QString());
    c_.feedback.setStatus(1, QStringLiteral("multiCDimgEnc completed"));
    c_.controls.editA->setText(s.Path_A);
    c_.router.setEnabled(BtnPlay, listed && c_.list.rowCount() > 0);
    c_.router.setEnabled(BtnProp, listed && c_.list.rowCount() > 0);
}

// One image of the folder: listed, its titles asked for when Auto CDDB is on, and encoded. False
// when its cue sheet could not be read; the run goes on with the next.
bool EncodingController::encodeFolderImage(const QString& cuePath)
{
    Settings& s = c_.settings;
    s.Path_Cue = cuePath;
    c_.controls.editB->setText(cuePath);
    c_.list.clear();
    if (c_.session.compareImage(cuePath, s) != CompareOk)
        return false;
    showComparison();
    if (s.Cddb_CDimg && c_.session.queryCddb(s, c_.feedback, false) == CddbOk)
        showComparison();
    runEncodingB(c_, true);
    return true;
}

} // namespace vn
