#pragma once
// The tool window that reads a whole audio CD into an image file with its cue sheet, and hands the
// new cue sheet to the main window. It is made hidden when the main window is made and lives until
// the program ends; closing it only hides it.

#include "cd/cd_drive.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vn {

class CommandRouter;
struct Settings;

// The window's own command numbers; each button carries its number as objectName.
enum CdImageCommand : int {
    CdImgScan = 6441,   // sent just before the window is shown
    CdImgReScan = 6442,
    CdImgBrowse = 6443,
    CdImgStart = 6444,  // also cancels a running read
    CdImgApply = 6445,
    CdImgClose = 6446,
};

class CdImageWindow : public QWidget {
    Q_OBJECT
public:
    // Hands the cue sheet of a finished read to the main window; false when the main window cannot
    // take it now.
    using ApplyCueSheet = std::function<bool(const QString& cuePath)>;

    // The settings give the controls their first state and keep the choices of each read. While a
    // read runs the router holds a job: the main window refuses its other commands, and its
    // "Abort Batch" stops the read like Cancel.
    CdImageWindow(Settings& settings, CommandRouter& router, const QFont& font, ApplyCueSheet apply);
    ~CdImageWindow() override;

    void runCommand(int id);
    bool running() const { return running_; }
    QString statusText() const;
    // The drives in the list, in list order.
    const std::vector<CdDriveInfo>& drives() const { return drives_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class RipFeedback;

    void build(const QFont& font);
    void scanDrives();
    void browseCueSheet();
    void startOrCancel();
    void applyCueSheet();
    // The controls a running read must not see changed.
    void setInputsEnabled(bool enabled);

    Settings& settings_;
    CommandRouter& router_;
    ApplyCueSheet apply_;
    std::unique_ptr<RipFeedback> feedback_;
    std::vector<CdDriveInfo> drives_;
    QStringList imageDevices_; // images listed as drives; a rescan keeps them
    QString readCuePath_;      // the cue sheet of the last complete read, for Apply
    bool running_ = false;

    QComboBox* driveList_ = nullptr;
    QPushButton* reScan_ = nullptr;
    QCheckBox* autoEject_ = nullptr;
    QLineEdit* cuePath_ = nullptr;
    QPushButton* browse_ = nullptr;
    QButtonGroup* format_ = nullptr;
    QLineEdit* blockSize_ = nullptr;
    QPushButton* start_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* close_ = nullptr;
};

} // namespace vn
