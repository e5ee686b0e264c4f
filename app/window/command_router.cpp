#include "app/window/command_router.h"

#include "app/window/command_ids.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>

namespace vn {

namespace {

// "Compare A/B（フォルダ比較）" is "Compare A/B" in a message.
QString withoutGloss(QString text)
{
    const qsizetype gloss = text.indexOf(u'（');
    if (gloss > 0)
        text.truncate(gloss);
    return text.remove(u'&').trimmed();
}

} // namespace

QString unavailableMessage(const QString& title)
{
    return QStringLiteral("\"%1\" is not available in this build.").arg(title);
}

CommandRouter::CommandRouter(Unavailable unavailable) : unavailable_(std::move(unavailable)) {}

void CommandRouter::add(std::initializer_list<int> ids, Handler handler, bool runsDuringJob)
{
    for (int id : ids)
        handlers_.insert(id, Entry{handler, runsDuringJob});
}

void CommandRouter::bind(int id, QAbstractButton* button)
{
    buttons_.insert(id, button);
    QObject::connect(button, &QAbstractButton::clicked, button, [this, id] { run(id); });
}

void CommandRouter::bind(int id, QAction* action)
{
    actions_.insert(id, action);
    QObject::connect(action, &QAction::triggered, action, [this, id] { run(id); });
}

void CommandRouter::run(int id)
{
    const auto entry = handlers_.constFind(id);
    if (entry == handlers_.cend()) {
        if (unavailable_)
            unavailable_(unavailableMessage(title(id)));
        return;
    }
    // A click that reached us while a job pumps events: the job owns the window until it ends.
    if (jobRunning() && !entry->runsDuringJob && id != BtnAbortBatch)
        return;
    const Handler handler = entry->handler; // the handler may register or rebind numbers
    handler(id);
}

void CommandRouter::applyEnabled(int id, bool enabled)
{
    for (const QPointer<QAbstractButton>& b : buttons_.values(id)) {
        if (b)
            b->setEnabled(enabled);
    }
    for (const QPointer<QAction>& a : actions_.values(id)) {
        if (a)
            a->setEnabled(enabled);
    }
}

void CommandRouter::setEnabled(int id, bool enabled)
{
    if (jobRunning() && id != BtnAbortBatch)
        enabledAfterJob_.insert(id, enabled);
    else
        applyEnabled(id, enabled);
}

bool CommandRouter::isEnabled(int id) const
{
    if (jobRunning() && enabledAfterJob_.contains(id))
        return enabledAfterJob_.value(id);
    for (const QPointer<QAbstractButton>& b : buttons_.values(id)) {
        if (b)
            return b->isEnabled();
    }
    for (const QPointer<QAction>& a : actions_.values(id)) {
        if (a)
            return a->isEnabled();
    }
    return false;
}

void CommandRouter::setChecked(int id, bool checked)
{
    for (const QPointer<QAction>& a : actions_.values(id)) {
        if (a)
            a->setChecked(checked);
    }
}

void CommandRouter::setText(int id, const QString& text)
{
    for (const QPointer<QAbstractButton>& b : buttons_.values(id)) {
        if (b)
            b->setText(text);
    }
    for (const QPointer<QAction>& a : actions_.values(id)) {
        if (a)
            a->setText(text);
    }
}

QString CommandRouter::title(int id) const
{
    for (const QPointer<QAction>& a : actions_.values(id)) {
        if (!a)
            continue;
        const QString text = withoutGloss(a->text());
        auto* menu = qobject_cast<QMenu*>(a->parent());
        // An item of a submenu ("Lame" under "Encoder option") is named with its submenu.
        if (menu && qobject_cast<QMenu*>(menu->parent()))
            return withoutGloss(menu->title()) + QStringLiteral(" > ") + text;
        return text;
    }
    for (const QPointer<QAbstractButton>& b : buttons_.values(id)) {
        if (b)
            return withoutGloss(b->text());
    }
    return QString::number(id);
}

void CommandRouter::beginJob()
{
    if (jobDepth_++ > 0)
        return;
    abortRequested_ = false;
    enabledAfterJob_.clear();
    QList<int> ids = buttons_.uniqueKeys();
    ids += actions_.uniqueKeys();
    for (int id : ids) {
        if (enabledAfterJob_.contains(id) || (handlers_.contains(id) && handlers_.value(id).runsDuringJob))
            continue;
        enabledAfterJob_.insert(id, isEnabled(id));
        applyEnabled(id, id == BtnAbortBatch);
    }
}

void CommandRouter::endJob()
{
    if (--jobDepth_ > 0)
        return;
    const QHash<int, bool> after = std::exchange(enabledAfterJob_, {});
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        applyEnabled(it.key(), it.value());
    applyEnabled(BtnAbortBatch, false);
    abortRequested_ = false;
}

} // namespace vn
