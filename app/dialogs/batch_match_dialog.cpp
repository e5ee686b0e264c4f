#include "app/dialogs/batch_match_dialog.h"

#include "app/widgets/icons.h"
#include "app/window/command_ids.h"
#include "config/settings.h"
#include "util/file_name.h"
#include "util/numbers.h"
#include "util/text_helpers.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vn {

namespace {

constexpr int PathCapacity = 260;
constexpr int CueFoldersCapacity = 2600;
constexpr int ExcludedCapacity = 256; // bytes, terminator included
constexpr int ExtensionCapacity = 6;

FileChooser& saveChooser()
{
    static FileChooser chooser;
    return chooser;
}

// The save dialog: asks before an existing file is replaced.
bool SaveFileDialog(QWidget* owner, const QString& title, const QStringList& filters, QString& fileName, int capacity)
{
    QString chosen = saveChooser() ? saveChooser()(owner, title, fileName, filters)
                                   : QFileDialog::getSaveFileName(owner, title, fileName, filters.join(QStringLiteral(";;")));
    if (chosen.isEmpty())
        return false;
    chosen = QDir::toNativeSeparators(QDir::cleanPath(chosen));
    if (chosen.size() >= capacity)
        return false;
    fileName = chosen;
    return true;
}

QLineEdit* numberBox(QWidget* parent, int id, uint32_t value)
{
    auto* box = new QLineEdit(QString::number(value), parent);
    box->setObjectName(QString::number(id));
    box->setMaximumWidth(90);
    box->setAlignment(Qt::AlignRight);
    return box;
}

QToolButton* browseButton(QWidget* parent, int id, int bitmap)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::number(id));
    button->setIcon(bitmapIcon(bitmap));
    button->setProperty("bitmapId", bitmap);
    return button;
}

uint32_t numberIn(const QLineEdit* box)
{
    return toULong(box->text().trimmed().toLatin1());
}

} // namespace

void setSaveFileChooser(FileChooser chooser)
{
    saveChooser() = std::move(chooser);
}

BatchMatchDialogWindow::BatchMatchDialogWindow(QWidget* owner, Settings& settings)
    : QDialog(owner), settings_(settings)
{
    setObjectName(QStringLiteral("SET_MP3VSCUE_DIALOG"));
    setWindowTitle(QStringLiteral("Batch Re-encode Setting STEP-1 : Mp3 vs Cue Maching Option"));
    const Settings& s = settings;

    extension_ = new QComboBox(this);
    extension_->setObjectName(QStringLiteral("6301"));
    for (const char* ext : BatchExtensions)
        extension_->addItem(QString::fromLatin1(ext));
    extension_->setCurrentIndex(extension_->findText(s.CueMatch_Extension, Qt::MatchFixedString));

    mp3Folder_ = new QLineEdit(s.CueMatch_FldrMp3, this);
    mp3Folder_->setObjectName(QStringLiteral("6302"));
    mp3Folder_->setMaxLength(PathCapacity - 1);
    mp3Folder_->setMinimumWidth(460);
    auto* browseMp3 = browseButton(this, 6303, BmpBrowseA);
    connect(browseMp3, &QToolButton::clicked, this, &BatchMatchDialogWindow::browseMp3Folder);

    cueFolders_ = new QPlainTextEdit(this);
    cueFolders_->setObjectName(QStringLiteral("6304"));
    cueFolders_->setPlainText(s.CueMatch_FldrCue.split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char('\n')));
    cueFolders_->setFixedHeight(80);
    auto* addCue = browseButton(this, 6305, BmpBrowseCue);
    connect(addCue, &QToolButton::clicked, this, &BatchMatchDialogWindow::addCueFolder);

    excluded_ = new QLineEdit(QString::fromUtf8(s.CueMatch_ExceptEnc), this);
    excluded_->setObjectName(QStringLiteral("6310"));
    excluded_->setMaxLength(ExcludedCapacity - 1);

    mciCueTrack_ = numberBox(this, 6315, s.CueMatch_MciCueT);
    mciCueDisc_ = numberBox(this, 6316, s.CueMatch_MciCueA);
    durMciTrack_ = numberBox(this, 6318, s.CueMatch_DurMciT);
    durMciDisc_ = numberBox(this, 6319, s.CueMatch_DurMciA);
    durCueTrack_ = numberBox(this, 6321, s.CueMatch_DurCueT);
    durCueDisc_ = numberBox(this, 6322, s.CueMatch_DurCueA);

    listFile_ = new QLineEdit(s.CueMatch_FileLst, this);
    listFile_->setObjectName(QStringLiteral("6306"));
    listFile_->setMaxLength(PathCapacity - 1);
    auto* browseList = browseButton(this, 6307, BmpOutput);
    connect(browseList, &QToolButton::clicked, this, &BatchMatchDialogWindow::browseListFile);

    logFile_ = new QLineEdit(s.CueMatch_FileLog, this);
    logFile_->setObjectName(QStringLiteral("6308"));
    logFile_->setMaxLength(PathCapacity - 1);
    auto* browseLog = browseButton(this, 6309, BmpOutput);
    connect(browseLog, &QToolButton::clicked, this, &BatchMatchDialogWindow::browseLogFile);

    auto* generate = new QPushButton(QStringLiteral("Generate"), this);
    generate->setObjectName(QStringLiteral("1"));
    generate->setDefault(true);
    auto* skip = new QPushButton(QStringLiteral("Skip"), this);
    skip->setObjectName(QStringLiteral("5"));
    skip->setAutoDefault(false);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("2"));
    cancel->setAutoDefault(false);
    connect(generate, &QPushButton::clicked, this, &BatchMatchDialogWindow::generate);
    connect(skip, &QPushButton::clicked, this, &BatchMatchDialogWindow::skip);
    connect(cancel, &QPushButton::clicked, this, [this] { done(BatchMatchCancel); });

    auto* layout = new QVBoxLayout(this);
    auto* extRow = new QHBoxLayout;
    extRow->addWidget(new QLabel(QStringLiteral("Extension"), this));
    extRow->addWidget(extension_);
    extRow->addStretch();
    layout->addLayout(extRow);

    auto pathRow = [&](const QString& caption, QWidget* edit, QWidget* button) {
        layout->addWidget(new QLabel(caption, this));
        auto* row = new QHBoxLayout;
        row->addWidget(edit);
        row->addWidget(button, 0, Qt::AlignTop);
        layout->addLayout(row);
    };
    pathRow(QStringLiteral("[Input A] MP3 Folder (including subfolders)"), mp3Folder_, browseMp3);
    pathRow(QStringLiteral("[Input B] Cue Folders (excluding subfolders)"), cueFolders_, addCue);
    layout->addWidget(new QLabel(QStringLiteral("[Option] MP3s encoded by these are excluded"), this));
    layout->addWidget(excluded_);

    auto* allowances = new QGroupBox(QStringLiteral("[Option] Allowances in Matching"), this);
    auto* grid = new QGridLayout(allowances);
    grid->addWidget(new QLabel(QStringLiteral("per Track"), allowances), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("per CD"), allowances), 0, 2);
    const QString rows[] = {QStringLiteral("Mp3.MCDI vs Cue.Track (LBAs)"), QStringLiteral("Mp3.Duration vs Mp3.MCDI (Samples)"),
                            QStringLiteral("Mp3.Duration vs Cue.Track (Samples)")};
    QLineEdit* boxes[3][2] = {{mciCueTrack_, mciCueDisc_}, {durMciTrack_, durMciDisc_}, {durCueTrack_, durCueDisc_}};
    for (int r = 0; r < 3; ++r) {
        grid->addWidget(new QLabel(rows[r], allowances), r + 1, 0);
        grid->addWidget(boxes[r][0], r + 1, 1);
        grid->addWidget(boxes[r][1], r + 1, 2);
    }
    layout->addWidget(allowances);
    pathRow(QStringLiteral("[Output to generate / Input to reuse] MP3-Cue Match List File"), listFile_, browseList);
    pathRow(QStringLiteral("[Output] MP3-Cue Log File (option)"), logFile_, browseLog);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(generate);
    buttons->addWidget(skip);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

QString BatchMatchDialogWindow::cueFolders() const
{
    QStringList folders;
    for (const QString& line : cueFolders_->toPlainText().split(QLatin1Char('\n'))) {
        const QString folder = line.trimmed();
        if (!folder.isEmpty())
            folders << folder;
    }
    return truncateToCapacity(folders.join(QLatin1Char(';')), CueFoldersCapacity);
}

void BatchMatchDialogWindow::browseMp3Folder()
{
    QString folder = mp3Folder_->text();
    if (BrowseFolder(this, QStringLiteral("Select MP3 Folder"), folder, folder, PathCapacity, BrowseNewStyle))
        mp3Folder_->setText(folder);
}

void BatchMatchDialogWindow::addCueFolder()
{
    const QStringList lines = cueFolders_->toPlainText().split(QLatin1Char('\n'));
    QString folder = lines.isEmpty() ? QString() : lines.last().trimmed();
    if (!BrowseFolder(this, QStringLiteral("Select a Cue Folder to be added to the list"), folder, folder, PathCapacity,
                      BrowseNewStyle))
        return;
    QString text = cueFolders_->toPlainText();
    if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    cueFolders_->setPlainText(text + folder);
}

void BatchMatchDialogWindow::browseListFile()
{
    QString file = listFile_->text();
    const QStringList filters{QStringLiteral("Text files {*.txt} (*.txt)")};
    // Without folders to match there is nothing to generate: only an existing list can be used.
    const bool existing = settings_.CueMatch_FldrMp3.isEmpty() || settings_.CueMatch_FldrCue.isEmpty();
    const bool chosen =
        existing ? OpenFileDialog(this, QStringLiteral("Specify existing 'MP3-Cue Match List File'"), filters, file, PathCapacity)
                 : SaveFileDialog(this, QStringLiteral("Specify 'MP3-Cue Match List File' to be saved"), filters, file,
                                  PathCapacity);
    if (chosen)
        listFile_->setText(file);
}

void BatchMatchDialogWindow::browseLogFile()
{
    QString file = logFile_->text();
    if (SaveFileDialog(this, QStringLiteral("Specify Log file to be saved"),
                       {QStringLiteral("Text files {*.txt,*.log} (*.txt *.log)")}, file, PathCapacity))
        logFile_->setText(file);
}

void BatchMatchDialogWindow::generate()
{
    Settings& s = settings_;
    s.CueMatch_Extension = extension_->currentText().left(ExtensionCapacity - 1);
    s.CueMatch_FldrMp3 = mp3Folder_->text();
    s.CueMatch_FldrCue = cueFolders();
    s.CueMatch_ExceptEnc = excluded_->text().toUtf8().left(ExcludedCapacity - 1);
    s.CueMatch_MciCueT = numberIn(mciCueTrack_);
    s.CueMatch_MciCueA = numberIn(mciCueDisc_);
    s.CueMatch_DurMciT = numberIn(durMciTrack_);
    s.CueMatch_DurMciA = numberIn(durMciDisc_);
    s.CueMatch_DurCueT = numberIn(durCueTrack_);
    s.CueMatch_DurCueA = numberIn(durCueDisc_);
    s.CueMatch_FileLst = listFile_->text();
    s.CueMatch_FileLog = logFile_->text();
    done(BatchMatchGenerate);
}

void BatchMatchDialogWindow::skip()
{
    settings_.CueMatch_Extension = extension_->currentText().left(ExtensionCapacity - 1);
    settings_.CueMatch_FileLst = listFile_->text();
    if (isRegularFile(settings_.CueMatch_FileLst))
        done(BatchMatchSkip);
}

int BatchMatchDialog(QWidget* owner, Settings& settings)
{
    BatchMatchDialogWindow dialog(owner, settings);
    const int answer = dialog.exec();
    return answer == BatchMatchGenerate || answer == BatchMatchSkip ? answer : BatchMatchCancel;
}

} // namespace vn
