#include "app/features/help_controller.h"

#include "app/widgets/shell.h"
#include "app/window/command_ids.h"
#include "app/window/command_router.h"
#include "app/window/desktop_feedback.h"
#include "config/install_layout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vn {

HelpController::HelpController(FeatureContext& context) : c_(context)
{
    c_.router.add({CmdManual}, [this](int) { openManual(); }, true);
    c_.router.add({CmdAbout}, [this](int) { showAbout(); }, true);
}

void HelpController::openManual()
{
    // Beside the program, or in the installed program's data folder; not where the settings live.
    const QString help = manualPath();
    if (!QFileInfo::exists(help)) {
        showMessage(c_.window, QStringLiteral("The user's manual \"%1\" was not found.").arg(QDir::toNativeSeparators(help)),
                QStringLiteral("User's Manual"), MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    openWithShell(help);
}

void HelpController::showAbout()
{
    const QString text =
        QStringLiteral("Vornelic ver.1.05\n\n"
                       "Carries the tags of a music collection over to new encodings.\n\n"
                       "Build %1, Qt %2\nSettings: %3")
            .arg(QStringLiteral(VORNELIC_VERSION), QString::fromLatin1(qVersion()), QDir::toNativeSeparators(c_.iniPath));
    showMessage(c_.window, text, QStringLiteral("About Vornelic"), MessageButtons::Ok, MessageIcon::Information);
}

} // namespace vn
