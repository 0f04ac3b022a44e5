#include "archive.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

namespace archive {

bool write(const QString &path, const QList<Entry> &entries, const char *nameCodec)
{
    QuaZip zip(path);
    if (nameCodec)
        zip.setFileNameCodec(nameCodec);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const Entry &e : entries) {
        QuaZipNewInfo info(e.name);
        if (e.permissions != 0)
            info.setPermissions(e.permissions);
        QuaZipFile file(&zip);
        const int method = e.stored ? 0 : Z_DEFLATED;
        if (!file.open(QIODevice::WriteOnly, info, nullptr, 0, method, e.stored ? 0 : Z_DEFAULT_COMPRESSION))
            return false;
        file.write(e.data);
        file.close();
        if (file.getZipError() != ZIP_OK)
            return false;
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

QList<Entry> numbered(int n)
{
    QList<Entry> entries;
    for (int i = 0; i < n; ++i)
        entries.append({QStringLiteral("f%1.txt").arg(i, 4, 10, QLatin1Char('0')), QByteArray::number(i)});
    return entries;
}

bool damage(const QString &path, const QByteArray &what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const int at = bytes.indexOf(what);
    if (at < 0)
        return false;
    bytes.replace(at, what.size(), QByteArray(what.size(), 'X'));
    file.seek(0);
    return file.write(bytes) == bytes.size();
}

} // namespace archive
