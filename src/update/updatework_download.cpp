#include "updatework.h"

#include "changelog.h"
#include "downloadqueue.h"
#include "files.h"
#include "outcome.h"
#include "partialfile.h"
#include "safepath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QtDebug>

namespace {

// Blanks and plain names are sent as they always were; "+&#%=" and the like would
// otherwise name another file or end the value.
QString queryValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value, QByteArrayLiteral(" /!$'()*,;:@")));
}

// An installed file is copied only as the bytes it was checked for: it lies in a folder
// other users may change, so what is written is hashed on the way, never through a link.
bool copyChecked(const QString &from, const QString &to, const QString &hash)
{
    QFile source;
    PartialFile part(to, hash);
    if (!platform::openNoFollow(source, from, platform::OpenAs::Read) || !part.open() || !part.startOver())
        return false;
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    for (qint64 n; (n = source.read(chunk.data(), chunk.size())) > 0;) {
        if (!part.append(QByteArray::fromRawData(chunk.constData(), int(n)))) {
            part.discard();
            return false;
        }
    }
    if (part.hexDigest() != hash) {
        part.discard();
        return false;
    }
    // A reused file keeps its mode (the programs' execute bits).
    const bool placed = part.commit() && platform::keepModeOf(source, to);
    ChangeLog::record("write", "file", to, placed);
    return placed;
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.isValid() && a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port();
}

} // namespace

void UpdateWork::downFile()
{
    emit pro(40);
    if (!fetchAll(work.files, QStringLiteral("files")))
        return;
    emit pro(70);
    // Plug-ins: nothing fills work.plugins yet, nor says where a plug-in belongs.
    if (!fetchAll(work.plugins, QStringLiteral("plugins")))
        return;
    emit pro(100);
}

// Places every file: kept or copied at once, downloaded several at a time.
bool UpdateWork::fetchAll(const QList<FileItem> &items, const QString &section)
{
    DownloadQueue queue([this](const QString &url, const DownloadQueue::Headers &headers,
                               bool http2) { return get(url, -1, headers, http2); },
                        request.newDir, request.limits);
    // The manager keeps the version file's connection: files from the same origin go
    // onto it at once.
    if (sameOrigin(http2Url, QUrl(streamUrl)))
        queue.useHttp2();
    for (const FileItem &item : items) {
        if (cancelled || !placeFile(item, section, &queue))
            return false;
    }
    downloads = &queue;
    const bool ok = queue.run();
    downloads = nullptr;
    if (!ok && !cancelled)
        emit error(outcome::DownloadError);
    return ok;
}

QString UpdateWork::fileAddress(const QString &section, const FileItem &item) const
{
    return streamUrl + QStringLiteral("?path=") + queryValue(section + QLatin1Char('/') + item.path + QLatin1Char('/') + item.name)
           + QStringLiteral("&version=") + queryValue(request.version);
}

// Puts one file of the new version in place: kept when an earlier attempt left it
// whole, copied when the installed one matches, else queued for download.
bool UpdateWork::placeFile(const FileItem &item, const QString &section, DownloadQueue *queue)
{
    const QString target = targetPath(request.newDir, item);
    // A retry reuses the folder: a link found there would
    // let this elevated program write anywhere.
    const QString link = linkOnTheWay(request.newDir, target);
    if (!link.isEmpty()) {
        qDebug() << "refused link" << link;
        emit error(outcome::DownloadError);
        return false;
    }
    if (QFileInfo(target).isFile() && fileHash(target) == item.hashCode) {
        qDebug() << "kept" << target;
        return true;
    }
    if (!item.local.isEmpty()) {
        qDebug() << "copy";
        if (!ChangeLog::makePath(QFileInfo(target).absolutePath())) {
            emit error(outcome::DownloadError);
            return false;
        }
        // One that changed since it was looked at is fetched instead.
        if (copyChecked(item.local, target, item.hashCode))
            return true;
    }
    queue->add(fileAddress(section, item), target, item.hashCode, item.size);
    return true;
}
