#pragma once

#include <QHash>
#include <QMultiHash>
#include <QString>
#include <QStringList>

// The files of the kept version folders, found by name or by content (a file renamed
// between releases): each hashed at most once in a run. Links are never taken.
class KeptFiles
{
public:
    explicit KeptFiles(const QStringList &dirs);

    // SHA-1 of a file, as UpdateWork::fileHash; remembered.
    QString hashOf(const QString &path);
    // The first of the paths, else any kept file of that size, whose SHA-1 is hash;
    // empty when none is.
    QString find(const QStringList &paths, const QString &hash, qint64 size);

private:
    void index();

    QStringList dirs;
    QHash<QString, QString> hashes;
    QMultiHash<qint64, QString> bySize;
    bool indexed = false;
};
