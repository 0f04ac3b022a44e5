#include "extractdir.h"

#include "changelog.h"
#include "entrywriter.h"
#include "safepath.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipfileinfo.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTextCodec>

#include <memory>

namespace {

const qint64 copyBufferSize = 256 * 1024;

const quint16 utf8NameFlag = 0x800;

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

// Inflates one file's bytes into the writer; false when they are damaged (closing the
// entry checks its CRC) or the writer failed.
bool readEntry(QuaZip &zip, EntryWriter &writer, QByteArray &buffer)
{
    QuaZipFile in(&zip);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    for (qint64 n; (n = in.read(buffer.data(), buffer.size())) != 0;) {
        if (n < 0 || writer.failed())
            return false;
        writer.append(QByteArray(buffer.constData(), int(n)));
    }
    in.close();
    return in.getZipError() == UNZ_OK;
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

QStringList PVXextractDir(QString fileCompressed, QString dir, QObject *notifier, qint64 maxQueuedBytes)
{
    QFile file(fileCompressed);
    QBuffer mapped;
    std::unique_ptr<QuaZip> zip = openArchive(file, mapped);
    zip->setFileNameCodec("ISO-8859-1");
    if (!zip->open(QuaZip::mdUnzip))
        return QStringList();
    if (!zip->goToFirstFile())
        return QStringList();

    EntryWriter writer(QDir(dir).absolutePath(), notifier, maxQueuedBytes);
    writer.start();
    QHash<QString, QByteArray> rawNameOf;  // target -> the entry name that wrote it
    QByteArray buffer(copyBufferSize, Qt::Uninitialized);
    bool ok = true;
    do {
        QuaZipFileInfo64 info;
        QByteArray raw;
        if (zip->getCurrentFileInfo(&info))
            info.name = decodedName(info, &raw);
        const QString target = raw.isEmpty() ? QString() : entryTarget(dir, info.name);
        // Two names that decode to one file would leave one of them unseen.
        const bool clash = rawNameOf.contains(target) && rawNameOf.value(target) != raw;
        if (target.isEmpty() || clash) {
            ok = false;
            break;
        }
        const bool isDir = info.name.endsWith(QLatin1Char('/'));
        writer.begin(target, info.name, isDir, info.getPermissions());
        ok = isDir || readEntry(*zip, writer, buffer);
        writer.end(ok);
        rawNameOf.insert(target, raw);
    } while (ok && !writer.failed() && zip->goToNextFile());

    // The walk also ends on a damaged central directory, which leaves an error behind.
    ok = ok && zip->getZipError() == UNZ_OK;
    zip->close();
    ok = writer.finish() && ok && zip->getZipError() == UNZ_OK;
    if (!ok) {
        removeFiles(writer.written());
        return QStringList();
    }
    return writer.written();
}
