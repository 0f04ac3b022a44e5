#include "basewidget.h"

#include "changelog.h"
#include "edition.h"
#include "machine.h"
#include "shellfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QtDebug>

namespace {

// 3ds Max registers 12.0 to 14.0 once per language, later versions once.
const char *const maxVersions[] = {"12.0\\MAX-1:409", "12.0\\MAX-1:804", "13.0\\MAX-1:409", "13.0\\MAX-1:804",
                                   "14.0\\MAX-1:409", "14.0\\MAX-1:804", "15.0", "16.0", "17.0", "18.0",
                                   "19.0", "20.0", "21.0"};

} // namespace

// Never through a link or junction: the trees it removes may be open to other users,
// who could swap a folder for a link while the removal runs.
void BaseWidget::veryDel(const QString &path)
{
    if (path.isEmpty())
        return;
    qDebug() << path;
    const QFileInfo info(path);
    if (info.isSymbolicLink() || info.isFile()) {
        ChangeLog::removeFile(path);
        return;
    }
    if (info.exists() && ChangeLog::removeTree(path))
        removeEmptyOwnParents(info.absoluteFilePath());
}

void BaseWidget::veryDelIfEmpty(const QString &folder)
{
    if (QFileInfo(folder).isDir()
        && QDir(folder).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        veryDel(folder);
}

// Above a removed tree only folders of ours go when left empty: a product folder, or
// the client's folder in the Start menu. The folder the user installed into, the
// program-files folder, the Start menu itself, the desktop and home stay, empty or not.
void BaseWidget::removeEmptyOwnParents(const QString &removed)
{
    const QString startMenu = QDir::cleanPath(startMenuPath());
    QFileInfo parent(QFileInfo(removed).absolutePath());
    while (!parent.isRoot()
           && (edition::isProductFolder(parent.fileName()) || QDir::cleanPath(parent.absolutePath()) == startMenu)
           && ChangeLog::removeDir(parent.absoluteFilePath())) {
        qDebug() << "dir:" << parent.absoluteFilePath();
        parent = QFileInfo(parent.absolutePath());
    }
}

QStringList BaseWidget::allMaxPath()
{
    QStringList result;
    const QString startup = QStringLiteral("scripts") + QDir::separator() + QStringLiteral("Startup") + QDir::separator();
    for (const char *version : maxVersions) {
        for (int product = 1; product <= 2; ++product) {
            const QString dir = maxInstallDir(product, QString::fromLatin1(version));
            if (!dir.isEmpty() && QFileInfo(dir + startup).isDir())
                result.append(QDir(dir + startup).absolutePath());
        }
    }
    qDebug() << "qD" << result;
    return result;
}

QString BaseWidget::maxInstallDir(int product, QString version)
{
    const QString name = product == 1 ? QStringLiteral("3dsMax") : QStringLiteral("3dsMaxDesign");
    return readReg(QStringLiteral("SOFTWARE\\Autodesk\\%1\\%2").arg(name, version), QStringLiteral("Installdir"));
}

QString BaseWidget::readReg(QString key, QString valueName)
{
    return platform::readMachineString(key, valueName);
}

QString BaseWidget::startMenuPath()
{
    return platform::startMenuDir();
}

QString BaseWidget::desktopPath()
{
    return platform::desktopDir();
}
