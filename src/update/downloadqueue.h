#pragma once

#include "downloadlimits.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QPair>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QEventLoop;
class QNetworkReply;
struct DownloadJob;

// Downloads of one update run, up to limits.parallel at a time; once the service speaks HTTP/2,
// small files many more on its one connection (see fill()): each streamed to a temporary
// file beside its target and hashed on the way, and given the target's name only when its
// length and SHA-1 (when one is expected) match; one cut off on the way stays as a part
// (PartialFile) that the next attempt continues with a range request. A body is bounded: by the size the
// version file publishes, by its Content-Length, else by the limits' maxUnpublishedBytes;
// and it stops when the disk holding the files keeps less than their reserveBytes free. The first
// failure aborts the others, whose parts stay for the next attempt.
class DownloadQueue : public QObject
{
    Q_OBJECT

public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    // http2: the request may go over HTTP/2.
    using Get = std::function<QNetworkReply *(const QString &url, const Headers &headers, bool http2)>;

    DownloadQueue(Get get, QString root, DownloadLimits limits);
    ~DownloadQueue() override;

    // size: the published size, or -1 when none is published.
    void add(const QString &url, const QString &path, const QString &expectedHash, qint64 size = -1);
    // Runs every download to its end (nested event loop); false after the first failure
    // or abort().
    bool run();
    void abort();
    // The service speaks HTTP/2: learnt from the first download, or told when the version
    // file came that way.
    void useHttp2();
    // Each download on its own: one that fails does not stop the others (patches, each
    // with its whole file to fall back on); run() still tells that one failed.
    void setEachOnItsOwn() { eachOnItsOwn = true; }

private:
    using Job = DownloadJob;
    void startNext(int index);
    void noteProtocol(QNetworkReply *reply);
    void fill();
    qint64 http2Outstanding() const;
    qint64 http2Budget() const;
    void noteBytes(qint64 bytes);
    void putBack(std::shared_ptr<Job> job);
    void request(Job *job, const QString &url);
    void finish(Job *job);
    std::shared_ptr<Job> take(Job *job);
    bool retryWhole(Job *job);
    bool complete(Job *job);
    bool placeWhole(Job *job);
    void release(QNetworkReply *reply);
    void halt(Job *job);

    Get get;
    QString root;  // nothing is written through a link below it
    DownloadLimits limits;
    bool http2 = false;
    qint64 received = 0;     // bytes of every download so far
    QElapsedTimer rateClock; // since the first of them came
    qint64 lastLook = -1000; // when the budget was last compared with what is in flight
    QList<std::shared_ptr<Job>> waiting;
    QList<std::shared_ptr<Job>> running;
    QEventLoop *loop = nullptr;
    bool failed = false;
    bool eachOnItsOwn = false;
    int lost = 0;  // downloads that failed on their own
};
