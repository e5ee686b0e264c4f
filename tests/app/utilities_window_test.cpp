// The two file utilities from the Utility menu: their dialogs, the folders they start from and keep,
// the run on a real folder tree with its result box, and Cancel, which touches nothing.
#include "app/app_fixture.h"
#include "app/dialogs/browse_folder.h"
#include "app/window/command_ids.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace vn::test {
namespace {

class UtilitiesWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        writeIni("Path_Otpt=" + home.filePath("output").toUtf8() + "\n");
    }
    void TearDown() override
    {
        setFolderChooser({});
        WindowTest::TearDown();
    }

    QString path(const QString& relative) const { return home.filePath(relative); }
    void make(const QString& relative, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        ASSERT_TRUE(writeFile(path(relative), bytes));
    }

    // The folder chooser answers with these folders by title, and notes where each browse started.
    void answerBrowse(QHash<QString, QString> answers)
    {
        setFolderChooser([this, answers](QWidget*, const QString& title, const QString& start) {
            browseStarts[title] = start;
            return answers.value(title);
        });
    }

    // Runs the menu item; dialogHandler gets the utility's dialog. Returns "title|text" of the box
    // shown after an OK, or an empty text when the dialog was not accepted.
    QString runFromMenu(int id, std::function<void(QWidget*)> dialogHandler)
    {
        QString box;
        bool jobDuringBox = false;
        onNextModal([this, &box, &jobDuringBox, dialogHandler](QWidget* dialog) {
            // The next modal after an OK is whatever the run shows.
            QObject::connect(qobject_cast<QDialog*>(dialog), &QDialog::finished, [this, &box, &jobDuringBox](int result) {
                if (result != 1)
                    return;
                onNextModal([this, &box, &jobDuringBox](QWidget* next) {
                    auto* message = qobject_cast<QMessageBox*>(next);
                    box = next->windowTitle() + '|' + (message ? message->text() : QStringLiteral("(not a message box)"));
                    jobDuringBox = window->router().jobRunning();
                    next->close();
                });
            });
            dialogHandler(dialog);
        });
        action(id)->trigger();
        if (!box.isEmpty()) {
            EXPECT_TRUE(jobDuringBox) << "the result box belongs to a running job";
        }
        EXPECT_FALSE(window->router().jobRunning());
        return box;
    }

    QHash<QString, QString> browseStarts;
};

// Pictures of the dialogs for the manual, beside the main window's.
void saveScreenshot(QWidget* dialog, const char* name)
{
    const QString shots = QDir(QStringLiteral(VORNELIC_BIN_DIR "/..")).absoluteFilePath("screenshots");
    QDir().mkpath(shots);
    EXPECT_TRUE(dialog->grab().save(shots + '/' + QLatin1String(name)));
}

QStringList labelTexts(QWidget* dialog)
{
    QStringList texts;
    for (auto* label : dialog->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

TEST_F(UtilitiesWindowTest, PlaylistExtensionsAreReplacedFromTheDialogAndTheCountsShown)
{
    // Album 1 was re-encoded to M4A: a.flac is gone with a.m4a in its place, b.flac still exists,
    // and c.flac is gone without a successor.
    make("music/Album 1/a.m4a", "m4a");
    make("music/Album 1/b.flac", "flac");
    make("music/Album 1/b.m4a", "m4a");
    const QByteArray playlist = "#EXTM3U\r\n"
                                "#EXTINF:61,Artist - A\r\n"
                                "Album 1/a.flac\r\n"
                                "  Album 1/b.flac   # kept\r\n"
                                "Album 1\\c.flac\r\n";
    make("music/list.m3u", playlist);
    make("music/Album 1/inner.m3u8", "b.flac\n");

    MainWindow& w = open();
    EXPECT_EQ(w.menus().utility->actions().at(1), action(CmdPlaylistExt));
    answerBrowse({{"Select Base Folder", path("music")}});
    const QString box = runFromMenu(CmdPlaylistExt, [this](QWidget* dialog) {
        EXPECT_EQ(dialog->objectName(), "PL_EXT_REPL_UTILITY_DIALOG");
        EXPECT_EQ(dialog->windowTitle(), "Playlist Extension Replacement Utility");
        EXPECT_EQ(labelTexts(dialog),
                  QStringList({"This utility replaces the extensions of the music files described in the playlist "
                               "files (.m3u) stored in the Base Folder and subfolders.",
                               "Base Folder", "New Extension after replacement",
                               "If a music file with original extension exists, the extension is not replaced."}));
        // An empty base folder starts at the Output folder.
        auto* folder = child<QLineEdit>(dialog, 6421);
        EXPECT_EQ(folder->text(), path("output"));
        auto* combo = child<QComboBox>(dialog, 6423);
        QStringList offered;
        for (int i = 0; i < combo->count(); ++i)
            offered << combo->itemText(i);
        EXPECT_EQ(offered, QStringList({".mp3", ".flac", ".m4a", ".mp4", ".mka", ".webm", ".ogg", ".opus"}));
        EXPECT_EQ(combo->currentText(), ".m4a");
        auto* browse = child<QToolButton>(dialog, 6422);
        EXPECT_EQ(browse->property("bitmapId").toInt(), BmpOutput);
        EXPECT_FALSE(browse->icon().isNull());
        browse->click();
        EXPECT_EQ(folder->text(), QDir::toNativeSeparators(path("music")));
        saveScreenshot(dialog, "playlist_ext_dialog.png");
        child<QAbstractButton>(dialog, 1)->click();
    });
    EXPECT_EQ(browseStarts.value("Select Base Folder"), path("output"));
    EXPECT_EQ(box, "Result: Playlist Extension Replacement Utility|"
                   "Total number of music file entries in the processed playlist files: 4\n"
                   "  Not replaced, the music file with original extension exists: 2\n"
                   "  Replaced, the music file with new extension(.m4a) exists: 1\n"
                   "  Replaced, the music file with new extension(.m4a) does not exist: 1\n"
                   "Total number of processed playlist files (.m3u;.m3u8): 2");
    EXPECT_EQ(readFile(path("music/list.m3u")), "#EXTM3U\r\n"
                                                "#EXTINF:61,Artist - A\r\n"
                                                "Album 1/a.m4a\r\n"
                                                "  Album 1/b.flac   # kept\r\n"
                                                "Album 1\\c.m4a\r\n");
    EXPECT_EQ(readFile(path("music/Album 1/inner.m3u8")), "b.flac\n");

    // The next opening offers the folder and extension of the last run, whatever the Output folder is.
    w.settings().Path_Otpt = path("elsewhere");
    QString offeredFolder;
    const QString again = runFromMenu(CmdPlaylistExt, [&offeredFolder](QWidget* dialog) {
        offeredFolder = child<QLineEdit>(dialog, 6421)->text();
        child<QAbstractButton>(dialog, 2)->click();
    });
    EXPECT_EQ(offeredFolder, QDir::toNativeSeparators(path("music")));
    EXPECT_EQ(again, "");
}

TEST_F(UtilitiesWindowTest, PlaylistCancelAndEscapeChangeNoFileButKeepWhatWasTyped)
{
    make("music/a.m3u", "a.flac\r\n");
    MainWindow& w = open();
    (void)w;
    const QString cancelled = runFromMenu(CmdPlaylistExt, [this](QWidget* dialog) {
        child<QLineEdit>(dialog, 6421)->setText(path("music"));
        child<QComboBox>(dialog, 6423)->setCurrentIndex(0);
        child<QAbstractButton>(dialog, 2)->click();
    });
    EXPECT_EQ(cancelled, "");
    EXPECT_EQ(readFile(path("music/a.m3u")), "a.flac\r\n");

    QString folder, extension;
    const QString escaped = runFromMenu(CmdPlaylistExt, [&folder, &extension](QWidget* dialog) {
        folder = child<QLineEdit>(dialog, 6421)->text();
        extension = child<QComboBox>(dialog, 6423)->currentText();
        pressEscape(dialog);
    });
    EXPECT_EQ(escaped, "");
    EXPECT_EQ(folder, path("music"));
    EXPECT_EQ(extension, ".mp3");
    EXPECT_EQ(readFile(path("music/a.m3u")), "a.flac\r\n");

    // A browse that is cancelled leaves the typed folder.
    answerBrowse({});
    runFromMenu(CmdPlaylistExt, [&folder](QWidget* dialog) {
        child<QAbstractButton>(dialog, 6422)->click();
        folder = child<QLineEdit>(dialog, 6421)->text();
        child<QAbstractButton>(dialog, 2)->click();
    });
    EXPECT_EQ(folder, path("music"));
}

TEST_F(UtilitiesWindowTest, MiscFilesAreCopiedIntoTheExistingDestinationTree)
{
    make("src/cover.jpg", "new cover");
    make("src/notes.txt", "notes");
    make("src/track.FLAC", "music");
    make("src/.hidden", "dot file");
    make("src/Disc 1/booklet.pdf", "booklet");
    make("src/Disc 1/01.mp3", "music");
    make("src/Disc 2/scan.png", "no destination for this one");
    make("dst/cover.jpg", "old cover");
    QDir().mkpath(path("dst/Disc 1"));

    open();
    EXPECT_EQ(window->menus().utility->actions().at(0), action(CmdMiscCopy));
    answerBrowse({{"Select Source Folder", path("src")}, {"Select Destination Folder", path("dst")}});
    const QString box = runFromMenu(CmdMiscCopy, [this](QWidget* dialog) {
        EXPECT_EQ(dialog->objectName(), "MISCCOPYUTY_DIALOG");
        EXPECT_EQ(dialog->windowTitle(), "Misc File Copy Utility");
        EXPECT_EQ(labelTexts(dialog),
                  QStringList({"This utility copies miscellaneous files except music files that are stored in the "
                               "Source Folder and the subfolders to the Destination Folder and the subfolders.\n"
                               "( Music files : .mp3, .m4a, .mp4, .flac, .wav )",
                               "Source Folder", "Destination Folder",
                               "If the destination folder does not exist, the file will not be copied."}));
        // Both empty folders start at the Output folder.
        auto* source = child<QLineEdit>(dialog, 6431);
        auto* destination = child<QLineEdit>(dialog, 6433);
        EXPECT_EQ(source->text(), path("output"));
        EXPECT_EQ(destination->text(), path("output"));
        EXPECT_EQ(child(dialog, 6432)->property("bitmapId").toInt(), BmpBrowseA);
        EXPECT_EQ(child(dialog, 6434)->property("bitmapId").toInt(), BmpBrowseFolderB);
        child<QAbstractButton>(dialog, 6432)->click();
        EXPECT_EQ(source->text(), QDir::toNativeSeparators(path("src")));
        EXPECT_EQ(destination->text(), path("output"));
        child<QAbstractButton>(dialog, 6434)->click();
        EXPECT_EQ(destination->text(), QDir::toNativeSeparators(path("dst")));
        saveScreenshot(dialog, "misc_copy_dialog.png");
        child<QAbstractButton>(dialog, 1)->click();
    });
    EXPECT_EQ(browseStarts.value("Select Source Folder"), path("output"));
    EXPECT_EQ(browseStarts.value("Select Destination Folder"), path("output"));
    EXPECT_EQ(box, "Result: Misc File Copy Utility|3 files copied");
    EXPECT_EQ(readFile(path("dst/cover.jpg")), "new cover");
    EXPECT_EQ(readFile(path("dst/notes.txt")), "notes");
    EXPECT_EQ(readFile(path("dst/Disc 1/booklet.pdf")), "booklet");
    QStringList copied = QDir(path("dst")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    copied.sort();
    EXPECT_EQ(copied, QStringList({"Disc 1", "cover.jpg", "notes.txt"}));
    EXPECT_EQ(QDir(path("dst/Disc 1")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"booklet.pdf"}));
}

TEST_F(UtilitiesWindowTest, MiscCopyCancelCopiesNothingAndKeepsBothFolders)
{
    make("src/cover.jpg", "new cover");
    make("dst/cover.jpg", "old cover");
    open();
    const QString cancelled = runFromMenu(CmdMiscCopy, [this](QWidget* dialog) {
        child<QLineEdit>(dialog, 6431)->setText(path("src"));
        child<QLineEdit>(dialog, 6433)->setText(path("dst"));
        child<QAbstractButton>(dialog, 2)->click();
    });
    EXPECT_EQ(cancelled, "");
    EXPECT_EQ(readFile(path("dst/cover.jpg")), "old cover");

    // Reopened, the dialog offers the folders typed before; the close box is a Cancel too.
    QString source, destination;
    const QString closed = runFromMenu(CmdMiscCopy, [&source, &destination](QWidget* dialog) {
        source = child<QLineEdit>(dialog, 6431)->text();
        destination = child<QLineEdit>(dialog, 6433)->text();
        dialog->close();
    });
    EXPECT_EQ(closed, "");
    EXPECT_EQ(source, path("src"));
    EXPECT_EQ(destination, path("dst"));
    EXPECT_EQ(readFile(path("dst/cover.jpg")), "old cover");
}

} // namespace
} // namespace vn::test
