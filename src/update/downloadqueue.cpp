#include "downloadqueue.h"

#include "changelog.h"
#include "files.h"
#include "redirect.h"
#include "safepath.h"
#include "sha1.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkReply>
#include <QStorageInfo>
#include <QTemporaryFile>
#include <QtDebug>

int DownloadQueue::parallelDefault = 6;
qint64 DownloadQueue::maxUnpublishedBytes = qint64(8) * 1024 * 1024 * 1024;
qint64 DownloadQueue::reserveBytes = 256 * 1024 * 1024;

namespace {

// One read buffer per download in flight bounds the memory.
const qint64 readBufferSize = 1024 * 1024;
// How often the free space below the new directory is looked at.
const qint64 spaceCheckBytes = 16 * 1024 * 1024;

bool isSuccessStatus(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return !status.isValid() || (status.toInt() >= 200 && status.toInt() < 300);
}

} // namespace

struct DownloadQueue::Job
{
    QString url;
    QString path;
    QString expectedHash;
    qint64 size = -1;
    std::unique_ptr<QTemporaryFile> part;
    QNetworkReply *reply = nullptr;
    Sha1 sha1;
    qint64 written = 0;
    qint64 checkedAt = 0;
    int redirects = 0;
    bool writeFailed = false;

    // A redirected reply may keep the first answer's length: only a direct one counts.
    qint64 announced() const
    {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        return length.isValid() && reply->url() == reply->request().url() ? length.toLongLong() : -1;
    }

    qint64 limit() const
    {
        qint64 most = size >= 0 ? size : maxUnpublishedBytes;
        if (announced() >= 0)
            most = qMin(most, announced());
        return most;
    }

    bool roomLeft(const QString &root)
    {
        if (written - checkedAt < spaceCheckBytes)
            return true;
        checkedAt = written;
        return QStorageInfo(root).bytesAvailable() >= reserveBytes;
    }

    // Writes what the reply has so far; nothing of a failed reply, nothing past the limit.
    bool take(const QString &root)
    {
        if (writeFailed || reply->error() != QNetworkReply::NoError || !isSuccessStatus(reply))
            return !writeFailed;
        const QByteArray bytes = reply->readAll();
        if (written + bytes.size() > limit() || !roomLeft(root)) {
            qDebug() << "body beyond" << limit() << "bytes or the disk's reserve:" << url;
            writeFailed = true;
            return false;
        }
        sha1.addData(bytes.constData(), bytes.size());
        written += bytes.size();
        writeFailed = part->write(bytes) != bytes.size();
        return !writeFailed;
    }
};

DownloadQueue::DownloadQueue(Get get, QString root, int parallel)
    : get(std::move(get))
    , root(std::move(root))
    , parallel(qMax(1, parallel))
{
}

DownloadQueue::~DownloadQueue()
{
    abort();
}

void DownloadQueue::add(const QString &url, const QString &path, const QString &expectedHash, qint64 size)
{
    auto job = std::make_shared<Job>();
    job->url = url;
    job->path = path;
    job->expectedHash = expectedHash;
    job->size = size;
    waiting.append(job);
}

bool DownloadQueue::run()
{
    while (!failed && !waiting.isEmpty() && running.size() < parallel)
        startNext();
    if (!running.isEmpty()) {
        QEventLoop nested;
        loop = &nested;
        nested.exec();
        loop = nullptr;
    }
    return !failed;
}

void DownloadQueue::abort()
{
    failed = true;
    waiting.clear();
    const QList<std::shared_ptr<Job>> jobs = running;
    running.clear();
    for (const std::shared_ptr<Job> &job : jobs) {
        job->reply->disconnect(this);
        job->reply->abort();
        job->part->remove();
        release(job->reply);
    }
    if (loop)
        loop->quit();
}

// Soon, but not inside the reply's own signal; deleteLater would wait for the end of the
// whole run's nested loop and keep every reply alive until then.
void DownloadQueue::release(QNetworkReply *reply)
{
    QMetaObject::invokeMethod(this, [reply] { delete reply; }, Qt::QueuedConnection);
}

void DownloadQueue::startNext()
{
    std::shared_ptr<Job> job = waiting.takeFirst();
    ChangeLog::makePath(QFileInfo(job->path).absolutePath());
    job->part = std::make_unique<QTemporaryFile>(job->path + QStringLiteral(".XXXXXX.part"));
    job->part->setAutoRemove(false);
    if (!job->part->open()) {
        qDebug() << "cannot write beside" << job->path;
        failed = true;
        return;
    }
    running.append(job);
    request(job.get(), job->url);
}

void DownloadQueue::request(Job *job, const QString &url)
{
    job->reply = get(url);
    job->reply->setReadBufferSize(readBufferSize);
    connect(job->reply, &QNetworkReply::readyRead, this, [this, job] {
        if (!job->take(root))
            job->reply->abort();
    });
    connect(job->reply, &QNetworkReply::finished, this, [this, job] { finish(job); });
}

void DownloadQueue::finish(Job *job)
{
    // A redirect's own body is never written: the file comes from where it points.
    const QUrl next = redirectTarget(job->reply);
    if (next.isValid() && !failed && job->redirects++ < maxRedirects) {
        job->reply->disconnect(this);
        release(job->reply);
        request(job, next.toString());
        return;
    }
    std::shared_ptr<Job> owned;
    for (int i = 0; i < running.size(); ++i) {
        if (running[i].get() == job)
            owned = running.takeAt(i);
    }
    if (!owned)
        return;
    if (!complete(job)) {
        job->part->remove();
        if (!failed) {
            qDebug() << "download failed" << job->url << job->reply->errorString() << job->written << job->sha1.hexDigest();
            abort();
        }
    }
    job->reply->disconnect(this);
    release(job->reply);
    while (!failed && !waiting.isEmpty() && running.size() < parallel)
        startNext();
    if (running.isEmpty() && loop)
        loop->quit();
}

// A body of the announced length and the expected hash takes the file's name.
bool DownloadQueue::complete(Job *job)
{
    // A short body is refused as a long one is; the hash still decides.
    const bool whole = !failed && job->take(root) && job->reply->error() == QNetworkReply::NoError
                       && isSuccessStatus(job->reply)
                       && (job->part->close(), job->part->error() == QFile::NoError)
                       && (job->announced() < 0 || job->announced() == job->written)
                       && (job->size < 0 || job->size == job->written)
                       && (job->expectedHash.isEmpty() || job->sha1.hexDigest() == job->expectedHash);
    if (!whole)
        return false;
    QFile::remove(job->path);
    const bool placed = linkOnTheWay(root, job->path).isEmpty() && job->part->rename(job->path);
    ChangeLog::record("write", "file", job->path, placed);
    if (!placed)
        return false;
    platform::makeRunnable(job->path);
    return true;
}
