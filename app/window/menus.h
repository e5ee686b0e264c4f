#pragma once
// The menu bar of the main window: its tree, and the actions by command number.

#include <QHash>

class QAction;
class QMenu;
class QMenuBar;

namespace vn {

struct MenuSet {
    QMenu* file = nullptr;
    QMenu* setting = nullptr;
    QMenu* utility = nullptr;
    QMenu* help = nullptr;
    QMenu* cdImageOptions = nullptr;
    QMenu* cddbServer = nullptr;
    QMenu* selectEncoder = nullptr;
    QMenu* encoderOption = nullptr;
    QMenu* cueCharset = nullptr;
    QMenu* backupLevel = nullptr;
    QMenu* playApi = nullptr;
    QHash<int, QAction*> actions;

    // The action of a command; nullptr for a number without one.
    QAction* action(int id) const { return actions.value(id, nullptr); }
    void setChecked(int id, bool checked) const;
    void setEnabled(int id, bool enabled) const;
    void setText(int id, const QString& text) const;
};

// Fills the menu bar; each action carries its command number as its object name.
MenuSet buildMenus(QMenuBar* bar);

} // namespace vn
