#pragma once
// Step 3 of Batch Re-encode: the encoder and its options, Backup or Output folder mode with its
// folder, the level folders and what to do with a folder that already exists.

#include <QDialog>
#include <functional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

namespace vn {

struct EncoderAvailability;
struct Settings;

// What step 3 edits besides the settings: the window's folder mode, and the LAME options dialog,
// which belongs to the encoder options.
struct BatchRunRequest {
    bool backupMode = true;
    std::function<void()> lameOptions;
};

// The line of each usable encoder, in encoder order: "MP3 / …", "FLAC / libFLAC …", "AAC / …" (qaac),
// "AAC / …" (fdkaac), "Opus / …" and FFmpeg's version text as it stands.
struct EncoderChoice {
    int encoderIndex;
    QString text;
};
std::vector<EncoderChoice> batchEncoderChoices(const EncoderAvailability& available);

// Returns 1 (OK) or 2 (Cancel, Escape, the close box). Either way the encoder, the level, the mode,
// the folder and the existing-folder choice are stored.
int BatchRunDialog(QWidget* owner, Settings& settings, const EncoderAvailability& available, BatchRunRequest& request);

class BatchRunDialogWindow : public QDialog {
    Q_OBJECT
public:
    BatchRunDialogWindow(QWidget* owner, Settings& settings, const EncoderAvailability& available,
                         BatchRunRequest& request);
    // Takes what the controls hold into the settings and the request.
    void store();

private:
    void editOptions();
    void toggleMode();
    void browseFolder();
    void showMode();
    int selectedEncoder() const;

    Settings& settings_;
    BatchRunRequest& request_;
    std::vector<EncoderChoice> choices_;
    bool backupMode_;
    QListWidget* encoders_;
    QPushButton* options_;
    QPushButton* mode_;
    QLineEdit* folder_;
    QToolButton* browse_;
    QComboBox* levels_;
    QButtonGroup* existing_;
};

} // namespace vn
