#include "processcheck.h"

#include "processes.h"

#include <QtDebug>

namespace helpers {

bool processExists(QString exeName)
{
    if (!exeName.endsWith(QLatin1String(".exe")))
        exeName += QStringLiteral(".exe");
    bool finished = false;
    const QByteArray listing = platform::taskList(exeName, &finished);
    return finished && listing.contains(exeName.toUtf8());
}

void killProcess(const QString &exeName)
{
    bool finished = false;
    const QByteArray report = platform::taskKill(exeName, &finished);
    if (finished)
        qDebug() << report;
}

} // namespace helpers
