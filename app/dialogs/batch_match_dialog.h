#pragma once
// Step 1 of Batch Re-encode: where the A files and the cue sheets are, the matcher's allowances and
// excluded encoders, and the match list (and log) file to generate or to take as it stands.

#include "app/dialogs/browse_folder.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace vn {

struct Settings;

inline constexpr int BatchMatchGenerate = 1;
inline constexpr int BatchMatchSkip = 5;
inline constexpr int BatchMatchCancel = 2;

// The extensions a batch takes its A files from, as the list offers them.
inline constexpr const char* BatchExtensions[] = {".mp3", ".m4a", ".mp4", ".flac", ".mka", ".webm"};

// Shows the dialog on the settings. Generate (1) stores every field; Skip (5) stores the extension
// and the list file, and closes only when that file exists; Cancel (2), Escape and the close box
// store nothing.
int BatchMatchDialog(QWidget* owner, Settings& settings);

// The save-file chooser of this dialog (the open one is OpenFileDialog's). Replaceable by tests.
void setSaveFileChooser(FileChooser chooser);

class BatchMatchDialogWindow : public QDialog {
    Q_OBJECT
public:
    BatchMatchDialogWindow(QWidget* owner, Settings& settings);

private:
    void browseMp3Folder();
    void addCueFolder();
    void browseListFile();
    void browseLogFile();
    void generate();
    void skip();
    // The cue folders of the box, one a line, as the ";"-separated setting.
    QString cueFolders() const;

    Settings& settings_;
    QComboBox* extension_;
    QLineEdit* mp3Folder_;
    QPlainTextEdit* cueFolders_;
    QLineEdit* excluded_;
    QLineEdit* mciCueTrack_;
    QLineEdit* mciCueDisc_;
    QLineEdit* durMciTrack_;
    QLineEdit* durMciDisc_;
    QLineEdit* durCueTrack_;
    QLineEdit* durCueDisc_;
    QLineEdit* listFile_;
    QLineEdit* logFile_;
};

} // namespace vn
