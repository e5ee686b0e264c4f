#pragma once
// The one top-level window: a frame of path rows and buttons above the comparison list, the menus
// and the status bar of eight parts. What each command does lives in the feature controllers.

#include "app/features/feature_context.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "app/window/menus.h"
#include "app/window/window_controls.h"
#include "config/settings.h"
#include "encode/encoder_availability.h"
#include "session/session.h"

#include <QMainWindow>
#include <optional>

class QTableView;

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
    void runCommand(int id) { router_.run(id); }

    Settings& settings() { return settings_; }
    const QString& iniPath() const { return iniPath_; }
    Feedback& feedback() { return feedback_; }
    const MenuSet& menus() const { return menus_; }
    CommandRouter& router() { return router_; }
    const ComparisonSession& session() const { return session_; }
    const SideModes& modes() const { return modes_; }
    ComparisonModel* comparisonModel() const { return model_; }
    QTableView* listView() const { return list_; }
    const EncoderAvailability& encoders() const { return encoders_; }

    QString statusText(int part) const;
    void setStatusText(int part, const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFrame();

    Settings settings_;
    QString iniPath_;
    EncoderAvailability encoders_;
    ComparisonSession session_;
    DesktopFeedback feedback_;
    CommandRouter router_;
    MenuSet menus_;
    WindowControls controls_;
    SideModes modes_;
    FeatureHooks hooks_;
    std::optional<FeatureContext> context_;
    Features features_;
    bool saved_ = false;

    QWidget* client_ = nullptr;
    QTableView* list_ = nullptr;
    ComparisonModel* model_ = nullptr;
    StatusParts* status_ = nullptr;
};

} // namespace vn
