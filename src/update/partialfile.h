#pragma once

#include "sha1.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

// A download in progress, kept beside its target as "<target>.part" with what a later
// attempt needs to go on safely in "<target>.part.meta": the SHA-1 the file must end
// with and the validator (ETag or Last-Modified) the server gave. A later attempt for the
// same file and hash continues it; anything else starts it anew. The hash is computed
// over the whole file, what was on disk included. Neither is ever opened through a link.
class PartialFile
{
public:
    PartialFile(const QString &target, const QString &expectedHash);

    // Opens what an earlier attempt left for the same file, else an empty part. False
    // when nothing can be written.
    bool open();
    qint64 size() const { return written; }
    QByteArray validator() const { return serverValidator; }

    // The server sends the whole file again (a 200, or a part that proved wrong).
    bool startOver();
    // Remembered from the first answer; without one a part cannot be continued.
    bool setValidator(const QByteArray &validator);
    bool append(const QByteArray &bytes);
    QString hexDigest();

    // Closes and gives the part the target's name; the meta goes.
    bool commit();
    // Closes and keeps the part for a later attempt when it can be continued; else it goes.
    void keep();
    void discard();

private:
    QString metaPath() const;
    QString partPath() const;
    bool writeMeta();

    QString target;
    QString expectedHash;
    QFile part;
    std::unique_ptr<Sha1> sha1;
    qint64 written = 0;
    QByteArray serverValidator;
};
