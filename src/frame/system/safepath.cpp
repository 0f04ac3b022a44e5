#include "safepath.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

bool isPortableSegment(const QString &segment)
{
    static const QRegularExpression device(QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (segment.endsWith(QLatin1Char('.')) || segment.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : segment) {
        if (c == QLatin1Char(':') || c.category() == QChar::Other_Control)
            return false;
    }
    // Windows opens the device whatever extension follows, and trims blanks before it.
    QString base = segment.section(QLatin1Char('.'), 0, 0);
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    return !device.match(base).hasMatch();
}

bool isPortableName(const QString &relative)
{
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    const QStringList segments = relative.split(separators, Qt::SkipEmptyParts);
    for (const QString &segment : segments) {
        if (segment != QLatin1String(".") && segment != QLatin1String("..") && !isPortableSegment(segment))
            return false;
    }
    return true;
}

QString linkOnTheWay(const QString &dir, const QString &path)
{
    const QString base = QDir::cleanPath(dir);
    const QString target = QDir::cleanPath(path);
    QString current = base;
    if (QFileInfo(current).isSymbolicLink())
        return current;
    if (!isInside(base, target))
        return QString();
    for (const QString &segment : target.mid(base.size() + 1).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + segment;
        if (QFileInfo(current).isSymbolicLink())
            return current;
    }
    return QString();
}

bool isInside(const QString &dir, const QString &path)
{
    return QDir::cleanPath(path).startsWith(QDir::cleanPath(dir) + QLatin1Char('/'));
}
