#include "machine.h"

#include <QStringList>

namespace platform {

bool parseCpuInfo(const QString &text, QString *name, int *cores)
{
    bool found = false;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString key = line.left(colon).trimmed();
        const QString value = line.mid(colon + 1).trimmed();
        if (key == QLatin1String("model name")) {
            *name = value;
            found = true;
        } else if (key == QLatin1String("cpu cores")) {
            *cores = value.toInt();
        }
    }
    return found;
}

} // namespace platform
