#include "patches.h"

#include "binarypatch.h"
#include "updatework.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Relative paths of a tree's files.
QSet<QString> filesOf(const QString &tree)
{
    QSet<QString> names;
    const QDir root(tree);
    QDirIterator it(tree, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        names.insert(root.relativeFilePath(it.next()));
    return names;
}

QStringList earlierReleases(const PatchPlan &plan)
{
    QStringList versions;
    for (const QString &name : QDir(plan.root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (!name.isEmpty() && name[0].isDigit() && versionLess(name, plan.version)
            && QFileInfo(plan.root + QLatin1Char('/') + name + QStringLiteral("/files")).isDir())
            versions.append(name);
    }
    std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) { return versionLess(b, a); });
    return versions.mid(0, plan.releases);
}

int commonPrefix(const QString &a, const QString &b)
{
    int n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return n;
}

// For a name the earlier release did not have: the dropped file with the same suffix whose
// name shares the longest beginning, then the nearest size, within half to twice the size.
QString mostAlike(const QString &relative, qint64 size, const QString &tree, const QSet<QString> &dropped)
{
    const QFileInfo wanted(relative);
    QString best;
    int bestPrefix = -1;
    qint64 bestGap = 0;
    for (const QString &candidate : dropped) {
        const QFileInfo info(tree + QLatin1Char('/') + candidate);
        const qint64 gap = qAbs(info.size() - size);
        if (info.suffix() != wanted.suffix() || info.size() * 2 < size || info.size() > size * 2)
            continue;
        const int prefix = commonPrefix(info.fileName(), wanted.fileName());
        if (prefix > bestPrefix || (prefix == bestPrefix && gap < bestGap)) {
            best = candidate;
            bestPrefix = prefix;
            bestGap = gap;
        }
    }
    return best;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

bool versionLess(const QString &a, const QString &b)
{
    const QStringList x = a.split(QLatin1Char('.'));
    const QStringList y = b.split(QLatin1Char('.'));
    for (int i = 0; i < qMin(x.size(), y.size()); ++i) {
        bool xNumber = false;
        bool yNumber = false;
        const qlonglong xn = x[i].toLongLong(&xNumber);
        const qlonglong yn = y[i].toLongLong(&yNumber);
        if (xNumber && yNumber && xn != yn)
            return xn < yn;
        if (!(xNumber && yNumber) && x[i] != y[i])
            return x[i] < y[i];
    }
    return x.size() < y.size();
}

int addPatches(QList<FileItem> &files, const QString &tree, const PatchPlan &plan)
{
    const QSet<QString> current = filesOf(tree);
    int made = 0;
    for (const QString &version : earlierReleases(plan)) {
        const QString earlier = plan.root + QLatin1Char('/') + version + QStringLiteral("/files");
        const QSet<QString> had = filesOf(earlier);
        const QSet<QString> dropped = QSet<QString>(had).subtract(current);
        for (FileItem &item : files) {
            const QString relative = QDir::cleanPath(item.path.mid(1) + item.name);
            const QString base = had.contains(relative) ? relative : mostAlike(relative, item.size, earlier, dropped);
            if (base.isEmpty())
                continue;
            const QByteArray from = readAll(earlier + QLatin1Char('/') + base);
            const QByteArray to = readAll(tree + QLatin1Char('/') + relative);
            if (from == to || from.isEmpty())
                continue;
            const QByteArray patch = binarypatch::make(from, to);
            if (patch.isEmpty() || patch.size() > to.size() / 2)
                continue;
            const FilePatch entry{UpdateWork::hashOf(from), from.size(), QLatin1Char('/') + version + item.path,
                                  item.name + QStringLiteral(".patch"), UpdateWork::hashOf(patch), patch.size()};
            if (!writeFile(plan.out + entry.path + entry.name, patch))
                return -1;
            item.patches.append(entry);
            ++made;
        }
    }
    return made;
}
