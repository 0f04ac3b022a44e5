#include "downloadqueue.h"

#include "changelog.h"
#include "files.h"
#include "safepath.h"
#include "sha1.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkReply>
#include <QTemporaryFile>
#include <QtDebug>

int DownloadQueue::parallelDefault = 6;

namespace {

// One read buffer per download in flight bounds the memory.
const qint64 readBufferSize = 1024 * 1024;

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
    std::unique_ptr<QTemporaryFile> part;
    QNetworkReply *reply = nullptr;
    Sha1 sha1;
    qint64 written = 0;
    bool writeFailed = false;

    // Writes what the reply has so far; nothing of a failed reply.
    bool take()
    {
        if (writeFailed || reply->error() != QNetworkReply::NoError || !isSuccessStatus(reply))
            return !writeFailed;
        const QByteArray bytes = reply->readAll();
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

void DownloadQueue::add(const QString &url, const QString &path, const QString &expectedHash)
{
    auto job = std::make_shared<Job>();
    job->url = url;
    job->path = path;
    job->expectedHash = expectedHash;
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
    job->reply = get(job->url);
    job->reply->setReadBufferSize(readBufferSize);
    Job *raw = job.get();
    connect(job->reply, &QNetworkReply::readyRead, this, [raw] {
        if (!raw->take())
            raw->reply->abort();
    });
    connect(job->reply, &QNetworkReply::finished, this, [this, raw] { finish(raw); });
    running.append(job);
}

void DownloadQueue::finish(Job *job)
{
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
    // After a redirect Qt may keep the first answer's length; the hash still decides then.
    const bool redirected = job->reply->url() != job->reply->request().url();
    const QVariant announced = job->reply->header(QNetworkRequest::ContentLengthHeader);
    const bool whole = !failed && job->take() && job->reply->error() == QNetworkReply::NoError
                       && (job->part->close(), job->part->error() == QFile::NoError)
                       && (redirected || !announced.isValid() || announced.toLongLong() == job->written)
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
