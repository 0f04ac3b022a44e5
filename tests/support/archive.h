#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// Builds zip archives for the tests, with whatever entry names they need, even those
// no well-behaved tool would write.
namespace archive {

struct Entry
{
    QString name;  // ends in "/" for a directory
    QByteArray data;
    QFile::Permissions permissions = {};
    bool stored = false;  // no compression, so the data can be found and damaged
};

// nameCodec: how names without the UTF-8 flag are encoded ("ISO-8859-1" writes a name's
// characters below 256 as its bytes); the locale's codec when null.
bool write(const QString &path, const QList<Entry> &entries, const char *nameCodec = nullptr);

// n files "f0000.txt" ... of a few bytes each.
QList<Entry> numbered(int n);

// Overwrites the first occurrence of the bytes what in the file with as many 'X's.
bool damage(const QString &path, const QByteArray &what);

} // namespace archive
