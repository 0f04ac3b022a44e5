#include "partialfile.h"

#include "files.h"


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
    , sha1(std::make_unique<Sha1>())
{
}

QString PartialFile::metaPath() const
{
    return target + QStringLiteral(".part.meta");
}

QString PartialFile::partPath() const
{
    return target + QStringLiteral(".part");
}

bool PartialFile::open()
{
    QFile meta;
    const QByteArray recorded =
        platform::openNoFollow(meta, metaPath(), platform::OpenAs::Read) ? meta.read(4096) : QByteArray();
    meta.close();
    const bool ours = !expectedHash.isEmpty() && metaValue(recorded, "sha1") == expectedHash.toLatin1()
                      && !metaValue(recorded, "validator").isEmpty()
                      && platform::openNoFollow(part, partPath(), platform::OpenAs::Update);
    if (!ours) {
        platform::removeFile(partPath());
        platform::removeFile(metaPath());
        return platform::openNoFollow(part, partPath(), platform::OpenAs::Create);
    }
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

// Written in place: a meta cut off by a kill names no validator, and its part starts over.
bool PartialFile::writeMeta()
{
    platform::removeFile(metaPath());
    QFile meta;
    const QByteArray text = "sha1=" + expectedHash.toLatin1() + "\nvalidator=" + serverValidator + '\n';
    return platform::openNoFollow(meta, metaPath(), platform::OpenAs::Create) && meta.write(text) == text.size()
           && meta.flush();
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
    if (!platform::renameFile(partPath(), target))
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
    platform::removeFile(partPath());
    platform::removeFile(metaPath());
}
