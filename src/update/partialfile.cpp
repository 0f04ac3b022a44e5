#include "partialfile.h"

#include "files.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

const qint64 seedChunk = 256 * 1024;

QByteArray metaValue(const QByteArray &meta, const QByteArray &name)
{
    for (const QByteArray &line : meta.split('\n')) {
        if (line.startsWith(name + '='))
            return line.mid(name.size() + 1);
    }
    return QByteArray();
}

} // namespace

PartialFile::PartialFile(const QString &target, const QString &expectedHash)
    : target(target)
    , expectedHash(expectedHash)
    , part(target + QStringLiteral(".part"))
    , sha1(std::make_unique<Sha1>())
{
}

QString PartialFile::metaPath() const
{
    return target + QStringLiteral(".part.meta");
}

bool PartialFile::open()
{
    QFile meta(metaPath());
    const QByteArray recorded = meta.open(QIODevice::ReadOnly) ? meta.read(4096) : QByteArray();
    meta.close();
    const bool ours = !QFileInfo(part.fileName()).isSymLink() && QFileInfo(part.fileName()).isFile()
                      && !expectedHash.isEmpty() && metaValue(recorded, "sha1") == expectedHash.toLatin1()
                      && !metaValue(recorded, "validator").isEmpty();
    if (!ours) {
        platform::removeFile(part.fileName());
        platform::removeFile(metaPath());
        return part.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }
    if (!part.open(QIODevice::ReadWrite))
        return false;
    QByteArray chunk;
    while (!(chunk = part.read(seedChunk)).isEmpty()) {
        sha1->addData(chunk.constData(), chunk.size());
        written += chunk.size();
    }
    serverValidator = metaValue(recorded, "validator");
    return true;
}

bool PartialFile::startOver()
{
    sha1 = std::make_unique<Sha1>();
    written = 0;
    serverValidator.clear();
    platform::removeFile(metaPath());
    return part.resize(0) && part.seek(0);
}

bool PartialFile::setValidator(const QByteArray &validator)
{
    serverValidator = validator;
    return validator.isEmpty() || writeMeta();
}

bool PartialFile::writeMeta()
{
    QSaveFile meta(metaPath());
    return meta.open(QIODevice::WriteOnly) && meta.write("sha1=" + expectedHash.toLatin1() + "\nvalidator=" + serverValidator + '\n') > 0
           && meta.commit();
}

bool PartialFile::append(const QByteArray &bytes)
{
    if (part.write(bytes) != bytes.size())
        return false;
    sha1->addData(bytes.constData(), bytes.size());
    written += bytes.size();
    return true;
}

QString PartialFile::hexDigest()
{
    return sha1->hexDigest();
}

bool PartialFile::commit()
{
    part.close();
    if (part.error() != QFileDevice::NoError)
        return false;
    platform::removeFile(target);
    if (!platform::renameFile(part.fileName(), target))
        return false;
    platform::removeFile(metaPath());
    return true;
}

void PartialFile::keep()
{
    part.close();
    if (serverValidator.isEmpty() || expectedHash.isEmpty())
        discard();
}

void PartialFile::discard()
{
    part.close();
    platform::removeFile(part.fileName());
    platform::removeFile(metaPath());
}
