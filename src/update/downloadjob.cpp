#include "downloadjob.h"

#include "partialfile.h"

#include <QNetworkReply>
#include <QStorageInfo>
#include <QtDebug>

namespace {

// How often the free space below the new directory is looked at.
const qint64 spaceCheckBytes = 16 * 1024 * 1024;

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

DownloadJob::DownloadJob(const DownloadLimits &limits)
    : limits(limits)
{
}

DownloadJob::~DownloadJob() = default;

bool DownloadJob::openPart()
{
    part = std::make_unique<PartialFile>(path, expectedHash);
    return part->open();
}

bool DownloadJob::small() const
{
    return size >= 0 && size <= limits.http2MaxFileBytes;
}

bool DownloadJob::succeeded() const
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return reply->error() == QNetworkReply::NoError
           && (!status.isValid() || (status.toInt() >= 200 && status.toInt() < 300));
}

qint64 DownloadJob::total() const
{
    if (statusOf(reply) == 206) {
        const QByteArray range = reply->rawHeader("Content-Range");
        bool ok = false;
        const qint64 n = range.mid(range.indexOf('/') + 1).toLongLong(&ok);
        return ok ? n : -1;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() && reply->url() == reply->request().url() ? length.toLongLong() : -1;
}

qint64 DownloadJob::limit() const
{
    qint64 most = size >= 0 ? size : limits.maxUnpublishedBytes;
    if (total() >= 0)
        most = qMin(most, total());
    return most;
}

bool DownloadJob::roomLeft(const QString &root)
{
    if (part->size() - checkedAt < spaceCheckBytes)
        return true;
    checkedAt = part->size();
    return QStorageInfo(root).bytesAvailable() >= limits.reserveBytes;
}

bool DownloadJob::answer()
{
    answered = true;
    if (statusOf(reply) == 206) {
        const QByteArray range = reply->rawHeader("Content-Range");
        return resumed && range.startsWith("bytes " + QByteArray::number(part->size()) + '-');
    }
    if (part->size() > 0 && !part->startOver())
        return false;
    resumed = false;
    QByteArray validator = reply->rawHeader("ETag");
    if (validator.isEmpty())
        validator = reply->rawHeader("Last-Modified");
    return part->setValidator(validator);
}

bool DownloadJob::take(const QString &root)
{
    if (proven || !succeeded())
        return !proven;
    if (!answered && !answer()) {
        proven = true;
        return false;
    }
    const QByteArray bytes = reply->readAll();
    if (part->size() + bytes.size() > limit() || !roomLeft(root)) {
        qDebug() << "body beyond" << limit() << "bytes or the disk's reserve:" << url;
        proven = true;
        return false;
    }
    proven = !part->append(bytes);
    return !proven;
}
