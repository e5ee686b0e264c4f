#pragma once
// The one top-level window: paths and mode buttons above the comparison list, the status bar of
// eight parts, the menus, and the dispatch of every command.

#include "app/desktop_feedback.h"
#include "encode/encoder_availability.h"
#include "app/menus.h"
#include "config/settings.h"
#include "encode/replace_tags.h"
#include "media/comparison.h"

#include <QMainWindow>
#include <array>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;

namespace vn {

class ComparisonModel;
class StatusParts;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // encoders replaces the start-up probe (tests choose what is usable).
    explicit MainWindow(std::optional<EncoderAvailability> encoders = std::nullopt, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Carries out a menu command or button by its number.
    void runCommand(int id);

    Settings& settings() { return settings_; }
    const QString& iniPath() const { return iniPath_; }
    Feedback& feedback() { return feedback_; }
    const MenuSet& menus() const { return menus_; }
    ComparisonModel* comparisonModel() const { return model_; }
    QTableView* listView() const { return list_; }
    const EncoderAvailability& encoders() const { return encoders_; }

    bool folderBMode() const { return folderBMode_; }
    bool backupMode() const { return backupMode_; }
    bool albumRepeat() const { return albumRepeat_; }
    int playApi() const { return playApi_; }
    bool batchRunning() const { return batchRunning_; }
    bool abortRequested() const { return abortRequested_; }

    QString statusText(int part) const;
    void setStatusText(int part, const QString& text);
    // The number in the track-offset box (decimal; what is not a number counts as 0).
    int trackOffsetFromBox() const;

    // The files and records of the last Compare A/B.
    const ComparisonState& comparison() const { return comparison_; }
    // The pairs of the last Replace Tags run and their number, which Move Files works on.
    const PairList& pairList() const { return pairs_; }
    int lastReplaceResult() const { return lastReplaceResult_; }

    // Applies changed encoder availability to the menus and the encoder line.
    void setEncoderAvailability(const EncoderAvailability& encoders);
    void refreshEncoderLine();
    // Backup/Output caption, path, picture and tooltips.
    void refreshBackupOutputDisplay();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void layoutPathRows(int width);
    void toggleFolderBMode();
    void applyModeTexts();
    void resetToEmptyState();
    void takeEditedPaths();
    void setBitmap(QToolButton* button, int bitmapId);
    void setCommandEnabled(int id, bool enabled);

    void compareSides();
    void replaceTags();
    void moveProducedFiles();
    void clearComparisonList();
    void showFileProperties(int row);
    void browseFolderA();
    void browseSideB();
    void browseBackupOutput();
    void browseTemp();
    void exploreSideB();
    void editOption(const QString& title, const QString& prompt, QString& value, int capacity);
    void editExtPriority();
    void swapCddbServers();
    void openManual();
    void showAbout();
    void message(const QString& text, const QString& title, MessageIcon icon);

    Settings settings_;
    ComparisonState comparison_;
    PairList pairs_;
    int lastReplaceResult_ = 0;
    QString iniPath_;
    EncoderAvailability encoders_;
    DesktopFeedback feedback_;
    MenuSet menus_;

    bool folderBMode_ = true;
    bool backupMode_ = true;
    bool albumRepeat_ = true;
    int playApi_ = 2;
    int trackOffsetB_ = 0;
    bool batchRunning_ = false;
    bool abortRequested_ = false;
    bool saved_ = false;

    QWidget* client_ = nullptr;
    QLabel* labelA_ = nullptr;
    QLabel* labelTemp_ = nullptr;
    QLineEdit* editA_ = nullptr;
    QLineEdit* editB_ = nullptr;
    QLineEdit* editBackup_ = nullptr;
    QLineEdit* editTemp_ = nullptr;
    QLineEdit* editOffset_ = nullptr;
    QLineEdit* editBlock_ = nullptr;
    QLineEdit* editPadding_ = nullptr;
    QToolButton* browseA_ = nullptr;
    QToolButton* exploreA_ = nullptr;
    QToolButton* browseB_ = nullptr;
    QToolButton* exploreB_ = nullptr;
    QToolButton* browseBackup_ = nullptr;
    QToolButton* exploreBackup_ = nullptr;
    QToolButton* browseTemp_ = nullptr;
    QToolButton* exploreTemp_ = nullptr;
    QPushButton* modeB_ = nullptr;
    QPushButton* modeBackup_ = nullptr;
    QPushButton* repeat_ = nullptr;
    QPushButton* abortBatch_ = nullptr;
    QHash<int, QWidget*> buttons_;
    QTableView* list_ = nullptr;
    ComparisonModel* model_ = nullptr;
    StatusParts* status_ = nullptr;
};

} // namespace vn
