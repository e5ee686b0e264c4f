#include "app/widgets/shell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QHelpEvent>
#include <QToolTip>
#include <QUrl>
#include <QWidget>

namespace vn {

namespace {

ShellOpener& shellOpener()
{
    static ShellOpener opener;
    return opener;
}

void open(const QString& path)
{
    if (shellOpener()) {
        shellOpener()(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

constexpr int TipWidth = 250;
constexpr int TipDuration = 32767;

// Shows the control's tooltip as a wrapped block; the plain text stays the control's toolTip().
class TipFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || widget->toolTip().isEmpty())
            return false;
        QString html = widget->toolTip().toHtmlEscaped();
        html.replace(QLatin1String("\r\n"), QLatin1String("<br>"));
        html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
        const QString rich = QStringLiteral("<table width=\"%1\"><tr><td>%2</td></tr></table>").arg(TipWidth).arg(html);
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), rich, widget, {}, TipDuration);
        return true;
    }
};

TipFilter* tipFilter()
{
    static TipFilter* filter = new TipFilter(QCoreApplication::instance());
    return filter;
}

} // namespace

void setShellOpener(ShellOpener opener)
{
    shellOpener() = std::move(opener);
}

void exploreFolder(const QString& folder)
{
    open(folder);
}

void openWithShell(const QString& file)
{
    open(file);
}

void AddToolTip(QWidget* control, const QString& text)
{
    if (!control)
        return;
    if (control->property("vnTip").isNull()) {
        control->installEventFilter(tipFilter());
        control->setProperty("vnTip", true);
    }
    control->setToolTip(text);
    control->setToolTipDuration(TipDuration);
}

void PumpMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace vn
