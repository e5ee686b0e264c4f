#include "config/install_layout.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vn {

QString installedDataDir(const QString& exeDir)
{
    return QDir::cleanPath(exeDir + QStringLiteral("/../share/vornelic"));
}

bool isInstalledLayout(const QString& exeDir)
{
    return !exeDir.isEmpty() && QFileInfo(installedDataDir(exeDir) + u'/' + QLatin1String(ManualFileName)).isFile();
}

QString findManual(const QString& exeDir)
{
    const QString name = QLatin1String(ManualFileName);
    const QString beside = QDir(exeDir).filePath(name);
    QStringList candidates{beside, installedDataDir(exeDir) + u'/' + name};
#ifdef VORNELIC_INSTALL_DATADIR
    candidates.append(QStringLiteral(VORNELIC_INSTALL_DATADIR "/vornelic/") + name);
#endif
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return beside;
}

QString manualPath()
{
    return findManual(QCoreApplication::applicationDirPath());
}

} // namespace vn
