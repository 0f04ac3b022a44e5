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

bool isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (QStringLiteral("<>:\"/\\|?*").contains(c) || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}
