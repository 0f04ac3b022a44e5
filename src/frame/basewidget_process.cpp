#include "basewidget.h"

#include "processes.h"

#include <QtDebug>

bool BaseWidget::processExists(QString exeName)
{
    // Only a lower-case ".exe" counts as present, so "X.EXE" is looked up as "X.EXE.exe".
    if (!exeName.endsWith(QLatin1String(".exe")))
        exeName += QStringLiteral(".exe");
    bool finished = false;
    const QByteArray listing = platform::taskList(exeName, &finished);
    return finished && listing.contains(exeName.toUtf8());
}

void BaseWidget::killProcess(const QString &exeName)
{
    bool finished = false;
    const QByteArray report = platform::taskKill(exeName, &finished);
    if (finished)
        qDebug() << report;
}
