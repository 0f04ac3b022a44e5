#include "extractdir.h"

#include "changelog.h"
#include "safepath.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextCodec>

#include <memory>

namespace {

const qint64 copyBufferSize = 256 * 1024;

const quint16 utf8NameFlag = 0x800;

// Creates directories, remembering those already made: one mkpath per directory
// rather than one per file keeps archives of many small files fast. Earlier installs
// opened the product folder to every user, so a link planted there is never followed.
class DirMaker
{
public:
    explicit DirMaker(const QString &root)
        : root(root)
    {
    }

    bool make(const QString &path)
    {
        if (made.contains(path))
            return true;
        if (!linkOnTheWay(root, path).isEmpty() || !ChangeLog::makePath(path))
            return false;
        made.insert(path);
        return true;
    }

private:
    QString root;
    QSet<QString> made;
};

// The name as its maker meant it: UTF-8 when the entry says so or its bytes are valid
// UTF-8, else GBK, the code page of the machines that make our packages. The archive is
// opened with Latin-1 names, which keeps a flagless name's bytes.
QString decodedName(const QuaZipFileInfo64 &info, QByteArray *raw)
{
    if (info.flags & utf8NameFlag) {
        *raw = info.name.toUtf8();
        return info.name;
    }
    *raw = info.name.toLatin1();
    QTextCodec::ConverterState state;
    const QString utf8 = QTextCodec::codecForName("UTF-8")->toUnicode(raw->constData(), raw->size(), &state);
    return state.invalidChars == 0 ? utf8 : QTextCodec::codecForName("GBK")->toUnicode(*raw);
}

bool copyEntry(QuaZipFile &in, QFile &out, QByteArray &buffer)
{
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (n == 0)
            return in.getZipError() == UNZ_OK;
        if (out.write(buffer.constData(), n) != n)
            return false;
    }
}

bool extractFile(QuaZip &zip, const QString &target, QByteArray &buffer)
{
    QuaZipFile in(&zip);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QFile out(target);
    if (QFileInfo(target).isSymbolicLink() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    bool ok = copyEntry(in, out, buffer);
    out.close();
    // Closing the entry checks its CRC: altered data fails here.
    in.close();
    ok = ok && out.error() == QFileDevice::NoError && in.getZipError() == UNZ_OK;
    if (!ok)
        out.remove();
    return ok;
}

bool extractEntry(QuaZip &zip, const QuaZipFileInfo64 &info, const QString &target, DirMaker &dirs,
                  QByteArray &buffer)
{
    const bool isDir = info.name.endsWith(QLatin1Char('/'));
    if (isDir ? !dirs.make(target) : !dirs.make(QFileInfo(target).absolutePath()))
        return false;
    if (!isDir) {
        const bool written = extractFile(zip, target, buffer);
        ChangeLog::record("write", "file", target, written);
        if (!written)
            return false;
    }
    const QFile::Permissions permissions = info.getPermissions();
    if (permissions != 0)
        QFile::setPermissions(target, permissions);
    return true;
}

void removeFiles(const QStringList &paths)
{
    for (const QString &path : paths)
        ChangeLog::removeFile(path);
}

// Reading the archive from memory saves a system call per small read; archives too
// large for a Qt 5 byte array are read from the file.
std::unique_ptr<QuaZip> openArchive(QFile &file, QBuffer &buffer)
{
    if (file.open(QIODevice::ReadOnly) && file.size() > 0 && file.size() < (qint64(1) << 31) - 1) {
        if (uchar *bytes = file.map(0, file.size())) {
            buffer.setData(QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), int(file.size())));
            return std::make_unique<QuaZip>(&buffer);
        }
    }
    return std::make_unique<QuaZip>(file.fileName());
}

} // namespace

QString entryTarget(const QString &dir, const QString &name)
{
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (relative.isEmpty() || relative.startsWith(QLatin1Char('/')) || relative.contains(QLatin1Char(':'))
        || !isPortableName(relative))
        return QString();
    const QString base = QDir::cleanPath(QDir(dir).absolutePath());
    const QString target = QDir::cleanPath(base + QLatin1Char('/') + relative);
    if (!target.startsWith(base + QLatin1Char('/')))
        return QString();
    return QDir(dir).absoluteFilePath(name);
}

QStringList PVXextractDir(QString fileCompressed, QString dir, QObject *notifier)
{
    QFile file(fileCompressed);
    QBuffer mapped;
    std::unique_ptr<QuaZip> zip = openArchive(file, mapped);
    zip->setFileNameCodec("ISO-8859-1");
    if (!zip->open(QuaZip::mdUnzip))
        return QStringList();
    if (!zip->goToFirstFile())
        return QStringList();

    QStringList extracted;
    DirMaker dirs(QDir(dir).absolutePath());
    QHash<QString, QByteArray> rawNameOf;  // target -> the entry name that wrote it
    QByteArray buffer(copyBufferSize, Qt::Uninitialized);
    do {
        QuaZipFileInfo64 info;
        QByteArray raw;
        if (zip->getCurrentFileInfo(&info))
            info.name = decodedName(info, &raw);
        const QString target = raw.isEmpty() ? QString() : entryTarget(dir, info.name);
        // Two names that decode to one file would leave one of them unseen.
        const bool clash = rawNameOf.contains(target) && rawNameOf.value(target) != raw;
        if (target.isEmpty() || clash || !extractEntry(*zip, info, target, dirs, buffer)) {
            removeFiles(extracted);
            return QStringList();
        }
        rawNameOf.insert(target, raw);
        extracted.append(target);
        notifier->setObjectName(info.name);
    } while (zip->goToNextFile());

    // The walk also ends on a damaged central directory, which leaves an error behind.
    const bool walked = zip->getZipError() == UNZ_OK;
    zip->close();
    if (!walked || zip->getZipError() != UNZ_OK) {
        removeFiles(extracted);
        return QStringList();
    }
    return extracted;
}
