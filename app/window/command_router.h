#pragma once
// Every menu item and button of the window carries a command number; the router hands each number
// to the controller that registered it and keeps the controls of a number enabled, checked and
// titled alike. A number nobody registered answers "not available in this build" by itself.
//
// While a job runs (it pumps events so the window repaints), every command but the few marked as
// harmless is refused and its controls are grayed, so nothing can change the settings or the
// comparison under the job; "Abort Batch" is the way to stop it.

#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <functional>
#include <initializer_list>

class QAbstractButton;
class QAction;
class QObject;
class QWidget;

namespace vn {

class CommandRouter {
public:
    using Handler = std::function<void(int id)>;
    // What the router does with a number nobody registered (a message box in the window).
    using Unavailable = std::function<void(const QString& message)>;

    explicit CommandRouter(Unavailable unavailable);

    // Registers a controller's handler for its numbers; runsDuringJob marks a harmless command
    // (a help page) that stays usable while a job runs.
    void add(std::initializer_list<int> ids, Handler handler, bool runsDuringJob = false);
    bool handles(int id) const { return handlers_.contains(id); }

    // The controls that carry a number; activating one runs it.
    void bind(int id, QAbstractButton* button);
    void bind(int id, QAction* action);

    void run(int id);

    // Applies to every control of the number. While a job runs, the enabled state is kept and takes
    // effect when the job ends.
    void setEnabled(int id, bool enabled);
    bool isEnabled(int id) const;
    void setChecked(int id, bool checked);
    void setText(int id, const QString& text);

    // What the messages call a command: its menu text without the Japanese gloss (with its submenu's
    // title when it has one), else its button's caption.
    QString title(int id) const;

    bool jobRunning() const { return jobDepth_ > 0; }
    bool abortRequested() const { return abortRequested_; }
    // Asked by the "Abort Batch" button; the running job sees it between its steps.
    void requestAbort() { abortRequested_ = true; }
    const bool* abortFlag() const { return &abortRequested_; }

private:
    friend class JobScope;
    void beginJob();
    void endJob();
    void applyEnabled(int id, bool enabled);

    struct Entry {
        Handler handler;
        bool runsDuringJob = false;
    };
    Unavailable unavailable_;
    QHash<int, Entry> handlers_;
    QMultiHash<int, QPointer<QAbstractButton>> buttons_;
    QMultiHash<int, QPointer<QAction>> actions_;
    QHash<int, bool> enabledAfterJob_; // the state each number returns to when the job ends
    int jobDepth_ = 0;
    bool abortRequested_ = false;
};

// A job for the length of a scope: the router refuses other commands, grays their controls and
// offers "Abort Batch"; the abort flag starts cleared.
class JobScope {
public:
    explicit JobScope(CommandRouter& router) : router_(router) { router_.beginJob(); }
    ~JobScope() { router_.endJob(); }
    JobScope(const JobScope&) = delete;
    JobScope& operator=(const JobScope&) = delete;

private:
    CommandRouter& router_;
};

// The text of the message for a command that is not part of this build.
QString unavailableMessage(const QString& title);

} // namespace vn
