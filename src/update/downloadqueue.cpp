#include "downloadqueue.h"

#include "changelog.h"
#include "downloadjob.h"
#include "files.h"
#include "partialfile.h"
#include "redirect.h"
#include "safepath.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkReply>
#include <QtDebug>

namespace {

// One read buffer per download in flight bounds the memory over HTTP/1.1. Qt 5.15 reads an
// HTTP/2 stream whatever the buffer, so there the files' own sizes bound it.
const qint64 readBufferSize = 1024 * 1024;

} // namespace

DownloadQueue::DownloadQueue(Get get, QString root, DownloadLimits limits)
    : get(std::move(get))
    , root(std::move(root))
    , limits(limits)
{
    this->limits.parallel = qMax(1, limits.parallel);
}

DownloadQueue::~DownloadQueue()
{
    abort();
}

void DownloadQueue::add(const QString &url, const QString &path, const QString &expectedHash, qint64 size)
{
    auto job = std::make_shared<Job>(limits);
    job->url = url;
    job->path = path;
    job->expectedHash = expectedHash;
    job->size = size;
    waiting.append(job);
}

bool DownloadQueue::run()
{
    fill();
    if (!running.isEmpty()) {
        QEventLoop nested;
        loop = &nested;
        nested.exec();
        loop = nullptr;
    }
    return !failed && lost == 0;
}

// What is under way stays on disk for the next attempt to go on with.
void DownloadQueue::abort()
{
    failed = true;
    waiting.clear();
    const QList<std::shared_ptr<Job>> jobs = running;
    running.clear();
    for (const std::shared_ptr<Job> &job : jobs)
        halt(job.get());
    if (loop)
        loop->quit();
}

// Heard no more, and deleted soon, but not inside the reply's own signal; deleteLater
// would wait for the end of the whole run's nested loop and keep every reply alive.
void DownloadQueue::release(QNetworkReply *reply)
{
    reply->disconnect(this);
    QMetaObject::invokeMethod(this, [reply] { delete reply; }, Qt::QueuedConnection);
}

// A download stopped on the way: its part stays for the next attempt to go on with.
void DownloadQueue::halt(Job *job)
{
    release(job->reply);
    job->reply->abort();
    job->part->keep();
}

void DownloadQueue::startNext(int index)
{
    std::shared_ptr<Job> job = waiting.takeAt(index);
    // The part and its meta are named after the target: a target that is the folder
    // itself would put them beside it, outside.
    const bool inside = isInside(root, job->path);
    if (inside)
        ChangeLog::makePath(QFileInfo(job->path).absolutePath());
    if (!inside || !linkOnTheWay(root, job->path + QStringLiteral(".part")).isEmpty() || !job->openPart()) {
        qDebug() << "cannot write beside" << job->path;
        failed = true;
        return;
    }
    // A part that already holds the published size was cut off just before it took its
    // name: it is placed, or fetched whole, without asking for a range past its end.
    if (job->size >= 0 && job->part->size() > 0 && job->part->size() >= job->size) {
        if (job->part->size() == job->size && job->part->hexDigest() == job->expectedHash) {
            placeWhole(job.get());
            return;
        }
        job->part->discard();
        if (!job->openPart()) {
            failed = true;
            return;
        }
    }
    running.append(job);
    request(job.get(), job->url);
}

bool DownloadQueue::placeWhole(Job *job)
{
    const bool placed = linkOnTheWay(root, job->path).isEmpty() && job->part->commit();
    ChangeLog::record("write", "file", job->path, placed);
    if (placed)
        platform::makeRunnable(job->path);
    else
        failed = true;
    return placed;
}

// A part on disk is asked for from where it ends, and only if it is still the same file.
void DownloadQueue::request(Job *job, const QString &url)
{
    Headers headers;
    job->resumed = job->part->size() > 0 && !job->part->validator().isEmpty();
    if (job->resumed)
        headers = {{"Range", "bytes=" + QByteArray::number(job->part->size()) + '-'}, {"If-Range", job->part->validator()}};
    job->answered = false;
    job->reply = get(url, headers, job->small());
    job->reply->setReadBufferSize(readBufferSize);
    connect(job->reply, &QNetworkReply::metaDataChanged, this, [this, job] { noteProtocol(job->reply); });
    connect(job->reply, &QNetworkReply::readyRead, this, [this, job] {
        // Aborting ends the job at once; noting the bytes may put it back to wait.
        const qint64 before = job->part->size();
        if (!job->take(root))
            job->reply->abort();
        else
            noteBytes(job->part->size() - before);
    });
    connect(job->reply, &QNetworkReply::finished, this, [this, job] { finish(job); });
}

void DownloadQueue::finish(Job *job)
{
    // A redirect's own body is never written: the file comes from where it points.
    const QUrl next = redirectTarget(job->reply);
    if (next.isValid() && !failed && job->redirects++ < maxRedirects) {
        release(job->reply);
        request(job, next.toString(QUrl::FullyEncoded));
        return;
    }
    const std::shared_ptr<Job> owned = take(job);
    if (!owned)
        return;
    if (!complete(job) && !failed) {
        if (retryWhole(job)) {
            running.append(owned);
            return;
        }
        // In the log of a silent run: what failed, where, and how.
        const QVariant status = job->reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QString how = job->reply->error() != QNetworkReply::NoError ? job->reply->errorString()
                                                                          : QStringLiteral("not the published size or SHA-1");
        qWarning("download failed: %s -> %s: %s, %s; %lld bytes on disk", qPrintable(job->url),
                 qPrintable(QDir::toNativeSeparators(job->path)),
                 qPrintable(status.isValid() ? QStringLiteral("HTTP %1").arg(status.toInt()) : QStringLiteral("no HTTP answer")),
                 qPrintable(how), job->part->size());
        // Cut off on the way, the part is worth going on with; a wrong one is not.
        if (job->proven || job->reply->error() == QNetworkReply::NoError)
            job->part->discard();
        else
            job->part->keep();
        if (eachOnItsOwn)
            ++lost;
        else
            abort();
    }
    release(job->reply);
    fill();
    if (running.isEmpty() && loop)
        loop->quit();
}

void DownloadQueue::noteProtocol(QNetworkReply *reply)
{
    if (!http2 && reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool())
        useHttp2();
}

// On HTTP/2 a small file's request costs no connection of its own: many go at once.
void DownloadQueue::useHttp2()
{
    if (http2)
        return;
    http2 = true;
    qDebug() << "downloads over HTTP/2";
    if (!running.isEmpty())
        fill();
}

// Starts downloads while they fit: over HTTP/1.1 (before HTTP/2 is known, and for large
// files) limits.parallel at a time; small files over HTTP/2 up to limits.parallelHttp2, as much as
// the budget leaves (always one).
void DownloadQueue::fill()
{
    int overHttp1 = 0;
    int shared = 0;
    qint64 budget = http2Budget() - http2Outstanding();
    for (const std::shared_ptr<Job> &job : qAsConst(running))
        http2 && job->small() ? ++shared : ++overHttp1;
    for (int i = 0; i < waiting.size() && !failed && shared < limits.parallelHttp2;) {
        const Job &job = *waiting[i];
        const bool small = http2 && job.small();
        if (small ? shared > 0 && job.size > budget : overHttp1 >= limits.parallel) {
            // Nothing further can start either: no scan of the whole list per finish.
            if (overHttp1 >= limits.parallel && (!http2 || (shared > 0 && budget <= 0)))
                break;
            ++i;
            continue;
        }
        small ? (budget -= job.size, ++shared) : ++overHttp1;
        startNext(i);
    }
}

// What the small downloads over HTTP/2 still have to receive: no more than Qt may hold
// of them.
qint64 DownloadQueue::http2Outstanding() const
{
    qint64 bytes = 0;
    for (const std::shared_ptr<Job> &job : qAsConst(running)) {
        if (http2 && job->small())
            bytes += job->size - job->part->size();
    }
    return bytes;
}

// Streams share the link, and each must keep above the speed floor: what is asked for at
// once is what the link carries in half the floor's window at the rate measured since the
// first byte came, and never more than the budget (all of it before any is measured:
// on a slower link noteBytes() puts the newest back within a quarter of a second).
qint64 DownloadQueue::http2Budget() const
{
    const qint64 elapsed = rateClock.isValid() ? rateClock.elapsed() : 0;
    if (elapsed < 20)
        return limits.http2BudgetBytes;
    return qMin(limits.http2BudgetBytes, received * limits.floor.windowMs / 2 / elapsed);
}

void DownloadQueue::noteBytes(qint64 bytes)
{
    received += qMax<qint64>(0, bytes);
    if (received > 0 && !rateClock.isValid())
        rateClock.start();
    // Looked at often against the floor's window: four times a second at 30 s.
    if (!http2 || rateClock.elapsed() - lastLook < limits.floor.windowMs / 120)
        return;
    lastLook = rateClock.elapsed();
    // A link slower than the first guess: the newest beyond the budget go back to wait,
    // their parts kept to go on with.
    const qint64 budget = http2Budget();
    qint64 outstanding = http2Outstanding();
    for (int i = running.size() - 1; i >= 0 && outstanding > budget; --i) {
        Job *job = running[i].get();
        if (job->small() && running.size() > 1) {
            outstanding -= job->size - job->part->size();
            putBack(running.takeAt(i));
        }
    }
    fill();
}

void DownloadQueue::putBack(std::shared_ptr<Job> job)
{
    qDebug() << "later:" << job->url;
    halt(job.get());
    job->reply = nullptr;
    waiting.prepend(std::move(job));
}

std::shared_ptr<DownloadQueue::Job> DownloadQueue::take(Job *job)
{
    for (int i = 0; i < running.size(); ++i) {
        if (running[i].get() == job)
            return running.takeAt(i);
    }
    return nullptr;
}

// A continued part that turned out wrong (the server refused the range, or the whole
// does not hash right) is fetched whole, once.
bool DownloadQueue::retryWhole(Job *job)
{
    if (!job->resumed || job->wholeTried)
        return false;
    job->wholeTried = true;
    job->proven = false;
    job->part->discard();
    if (!job->openPart())
        return false;
    release(job->reply);
    request(job, job->url);
    return true;
}

// A body of the announced length and the expected hash takes the file's name.
bool DownloadQueue::complete(Job *job)
{
    const bool whole = !failed && job->take(root) && job->succeeded()
                       && (job->total() < 0 || job->total() == job->part->size())
                       && (job->size < 0 || job->size == job->part->size())
                       && (job->expectedHash.isEmpty() || job->part->hexDigest() == job->expectedHash);
    return whole && placeWhole(job);
}
