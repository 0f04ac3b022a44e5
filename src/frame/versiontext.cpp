#include "versiontext.h"

bool isPlainVersion(const QString &version)
{
    if (version.isEmpty() || version == QLatin1String(".") || version == QLatin1String(".."))
        return false;
    for (const QChar c : version) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':')
            || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}
