#include "updatework.h"

#include "binarypatch.h"
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

// The mode of the file it was made from (the programs' execute bits), else a download's.
void giveMode(const QString &source, const QString &target)
{
    QFile from;
    if (source.isEmpty() || !platform::openNoFollow(from, source, platform::OpenAs::Read)
        || !platform::keepModeOf(from, target))
        platform::makeRunnable(target);
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

// Places every file: kept or copied at once, made from a patch where a kept file is its
// base, else downloaded several at a time. A patch that fails in any way leaves its file to
// be fetched whole, once.
bool UpdateWork::fetchAll(const QList<FileItem> &items, const QString &section)
{
    QList<FileItem> patched;
    QList<Fetch> whole;
    for (const FileItem &item : items) {
        bool fetch = false;
        if (cancelled || !placeFile(item, &fetch))
            return false;
        if (fetch && item.patch >= 0)
            patched.append(item);
        else if (fetch)
            whole.append(wholeFile(section, item));
    }
    if (!patched.isEmpty() && !fetchPatched(patched, section, &whole))
        return false;
    const bool ok = download(whole);
    if (!ok && !cancelled)
        emit error(outcome::DownloadError);
    return ok;
}

UpdateWork::Fetch UpdateWork::wholeFile(const QString &section, const FileItem &item) const
{
    return {fileAddress(section, item), targetPath(request.newDir, item), item.hashCode, item.size};
}

// Fetches the patches and makes their files; a file whose patch fails joins *whole.
bool UpdateWork::fetchPatched(const QList<FileItem> &patched, const QString &section, QList<Fetch> *whole)
{
    QList<Fetch> patches;
    for (const FileItem &item : patched) {
        const FilePatch &patch = item.patches[item.patch];
        const QString path = patchPath(item);
        if (!QFileInfo(path).isFile() || fileHash(path) != patch.hashCode)
            patches.append({fileAddress(QStringLiteral("patches"), FileItem{patch.name, patch.path, QString(), QString()}),
                            path, patch.hashCode, patch.size});
    }
    download(patches, true);
    if (cancelled)
        return false;
    bool cut = false;
    for (const FileItem &item : patched) {
        // Cut off on the way, a patch is continued by the next attempt, as a file is.
        const QFileInfo part(patchPath(item) + QStringLiteral(".part"));
        if (!QFileInfo(patchPath(item)).isFile() && part.isFile() && part.size() > 0)
            cut = true;
        else if (!applyPatch(item))
            whole->append(wholeFile(section, item));
    }
    if (cut)
        emit error(outcome::DownloadError);
    return !cut;
}

bool UpdateWork::download(const QList<Fetch> &fetches, bool eachOnItsOwn)
{
    DownloadQueue queue([this](const QString &url, const DownloadQueue::Headers &headers,
                               bool http2) { return get(url, -1, headers, http2); },
                        request.newDir, request.limits);
    // The manager keeps the version file's connection: files from the same origin go
    // onto it at once.
    if (sameOrigin(http2Url, QUrl(streamUrl)))
        queue.useHttp2();
    if (eachOnItsOwn)
        queue.setEachOnItsOwn();
    for (const Fetch &fetch : fetches)
        queue.add(fetch.url, fetch.path, fetch.hash, fetch.size);
    downloads = &queue;
    const bool ok = queue.run();
    downloads = nullptr;
    return ok;
}

// Beside the file it makes, removed once used.
QString UpdateWork::patchPath(const FileItem &item) const
{
    return targetPath(request.newDir, item) + QStringLiteral(".patch");
}

bool UpdateWork::applyPatch(const FileItem &item)
{
    const QString patch = patchPath(item);
    const QString target = targetPath(request.newDir, item);
    PartialFile part(target, item.hashCode);
    bool made = QFileInfo(patch).isFile() && part.open() && part.startOver()
                && binarypatch::apply(item.patchBase, item.patches[item.patch].base, patch, item.size, part)
                && part.hexDigest() == item.hashCode;
    made = made ? part.commit() : (part.discard(), false);
    if (made)
        giveMode(item.patchBase, target);
    qDebug() << "patch" << target << made;
    ChangeLog::record("write", "file", target, made);
    ChangeLog::removeFile(patch);
    return made;
}

QString UpdateWork::fileAddress(const QString &section, const FileItem &item) const
{
    return streamUrl + QStringLiteral("?path=") + queryValue(section + QLatin1Char('/') + item.path + QLatin1Char('/') + item.name)
           + QStringLiteral("&version=") + queryValue(request.version);
}

// Puts one file of the new version in place: kept when an earlier attempt left it
// whole, copied when an installed one matches; *fetch when it must come from the service.
bool UpdateWork::placeFile(const FileItem &item, bool *fetch)
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
        // An attempt cut off between writing the file and giving it its mode.
        giveMode(item.local, target);
        return true;
    }
    if (!ChangeLog::makePath(QFileInfo(target).absolutePath())) {
        emit error(outcome::DownloadError);
        return false;
    }
    // One that changed since it was looked at is fetched instead.
    *fetch = item.local.isEmpty() || !copyChecked(item.local, target, item.hashCode);
    return true;
}
