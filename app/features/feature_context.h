#pragma once
// What every feature controller is built from: the settings, the comparison session, the feedback,
// the command router, the frame's controls, the list and the status bar. Each controller registers
// its own command numbers with the router and keeps its own state; none lives in the frame.

#include <QString>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

class QTableView;
class QWidget;

namespace vn {

class CommandRouter;
class ComparisonModel;
class ComparisonSession;
class DesktopFeedback;
class StatusParts;
struct EncoderAvailability;
struct MenuSet;
struct Settings;
struct WindowControls;

// The two modes the path rows show, read by several features and switched by compare.
struct SideModes {
    bool folderBMode = true; // side B is a folder; else a CD image's cue sheet
    bool backupMode = true;  // Replace Tags writes into the TempFile folder; else into the Output folder
};

// Moments other features hook into, so a feature never calls another one directly.
struct FeatureHooks {
    std::vector<std::function<void()>> beforeCompare;   // stop what uses the old comparison
    std::vector<std::function<void()>> afterCompare;    // a compare has filled the list
    std::vector<std::function<void()>> comparisonCleared;
    // Asked before Replace Tags, Encoding B and Move Files write; any false stops the command.
    std::vector<std::function<bool()>> beforeWriting;

    static void fire(const std::vector<std::function<void()>>& hooks)
    {
        for (const auto& hook : hooks)
            hook();
    }
    static bool allow(const std::vector<std::function<bool()>>& hooks)
    {
        return std::all_of(hooks.begin(), hooks.end(), [](const auto& hook) { return hook(); });
    }
};

struct FeatureContext {
    QWidget* window;
    Settings& settings;
    const QString& iniPath;
    ComparisonSession& session;
    DesktopFeedback& feedback;
    CommandRouter& router;
    const MenuSet& menus;
    WindowControls& controls;
    ComparisonModel& list;
    QTableView& listView;
    StatusParts& status;
    EncoderAvailability& encoders;
    SideModes& modes;
    FeatureHooks& hooks;
};

// A capability of the window. Built from the context, it registers its commands there.
class Feature {
public:
    virtual ~Feature() = default;
};

using Features = std::vector<std::unique_ptr<Feature>>;

// Every feature of this build, built in the order their commands and hooks should take effect.
Features buildFeatures(FeatureContext& context);

// The path and number boxes can be typed into; what stands in them is taken into the settings
// before a command uses them or the box shows something else, so a typed path is never lost.
void takeEditedPaths(FeatureContext& context);

} // namespace vn
