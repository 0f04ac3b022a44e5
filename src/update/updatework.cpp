#include "updatework.h"

#include "binarypatch.h"
#include "clientconfig.h"
#include "clientplacement.h"
#include "downloadqueue.h"
#include "edition.h"
#include "files.h"
#include "keptfiles.h"
#include "outcome.h"
#include "redirect.h"
#include "serviceaddress.h"
#include "sha1.h"
#include "signature.h"
#include "replyguard.h"
#include "timedrequest.h"
#include "versiontext.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>
#include <QtDebug>


namespace {

// Far beyond any real version file; an endless body must not fill the memory.
const qint64 maxVersionFileBytes = 16 * 1024 * 1024;
const qint64 versionReadBufferBytes = 256 * 1024;

} // namespace

UpdateWork::UpdateWork(UpdateRequest request, QObject *parent)
    : QObject(parent)
    , request(std::move(request))
{
}

QString UpdateWork::builtInKey()
{
    return QStringLiteral(UPDATE_PUBLIC_KEY);
}

UpdateWork::~UpdateWork()
{
    if (manager)
        manager->deleteLater();
}

QString UpdateWork::versionFileAddress(const ServiceAddresses &services, const QString &version, bool isEn,
                                      const QString &third)
{
    QString url = (isEn ? services.updateEN : services.update) + QStringLiteral("/getVersionFile.htm?version=") + version;
    const QString client = edition::updateClient(third);
    if (!client.isEmpty())
        url += QStringLiteral("&client=") + client;
    return url;
}

QString UpdateWork::hashOf(const QByteArray &bytes)
{
    Sha1 hash;
    hash.addData(bytes.constData(), bytes.size());
    return hash.hexDigest();
}

QString UpdateWork::fileHash(const QString &path)
{
    QFile file;
    if (!platform::openNoFollow(file, path, platform::OpenAs::Read))
        return QString();
    Sha1 hash;
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    for (qint64 n; (n = file.read(chunk.data(), chunk.size())) > 0;)
        hash.addData(chunk.constData(), n);
    return hash.hexDigest();
}

QNetworkReply *UpdateWork::get(const QString &url, qint64 maxBytes, const QList<QPair<QByteArray, QByteArray>> &headers,
                               bool http2)
{
    QNetworkRequest asked = timedRequest(url, request.limits.inactivityMs);
    // Where the service offers it over TLS, many requests share one connection.
    asked.setAttribute(QNetworkRequest::Http2AllowedAttribute, http2);
    for (const auto &header : headers)
        asked.setRawHeader(header.first, header.second);
    QNetworkReply *reply = manager->get(asked);
    ReplyGuard::watch(reply, maxBytes, request.limits.floor);
    return reply;
}

void UpdateWork::cancel()
{
    cancelled = true;
    if (downloads)
        downloads->abort();
    else if (current)
        current->abort();
}

void UpdateWork::start(bool isEn, QString third)
{
    const ServiceAddresses services = readServiceAddresses(QCoreApplication::applicationDirPath());
    const QString url = versionFileAddress(services, request.version, isEn, third);
    qDebug() << url;
    versionUrl = url;
    this->third = third;
    // No quiet fallback: with a key pinned, an unsigned release is refused. The key comes
    // from where only administrators write, never from the folder every user may change.
    publicKey = request.builtInKey.isEmpty() ? readPinnedKey(edition::registryKey(editionOf(third))) : request.builtInKey;
    manager = new QNetworkAccessManager;
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    requestVersionFile(url);
}

void UpdateWork::requestVersionFile(const QString &url)
{
    versionBytes.clear();
    QNetworkReply *reply = get(url, maxVersionFileBytes);
    current = reply;
    // Qt would buffer a body of any size before the cap is noticed: it is read as it
    // comes, through a small buffer, and ends at the cap.
    reply->setReadBufferSize(versionReadBufferBytes);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        versionBytes += reply->readAll();
        if (versionBytes.size() > maxVersionFileBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { versionFileFinished(reply); });
}

void UpdateWork::versionFileFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    current = nullptr;
    if (cancelled)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << reply->errorString();
        emit error(outcome::FileListError);
        return;
    }
    if (isRedirect(reply)) {
        const QUrl next = redirectTarget(reply);
        if (next.isValid() && ++hops <= maxRedirects) {
            requestVersionFile(next.toString(QUrl::FullyEncoded));
            return;
        }
        qDebug() << "redirect not followed:" << reply->rawHeader("Location");
        emit error(outcome::FileListError);
        return;
    }
    const QByteArray bytes = versionBytes + reply->readAll();
    versionBytes.clear();
    if (reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool())
        http2Url = reply->url();
    if (publicKey.isEmpty()) {
        useVersionFile(bytes);
        return;
    }
    const QString url = QString(versionUrl).replace(QLatin1String("/getVersionFile.htm?"),
                                                    QLatin1String("/getVersionSignature.htm?"));
    hops = 0;
    requestSignature(url, bytes);
}

void UpdateWork::requestSignature(const QString &url, const QByteArray &versionFile)
{
    QNetworkReply *signatureReply = get(url, 4096);
    current = signatureReply;
    connect(signatureReply, &QNetworkReply::finished, this,
            [this, signatureReply, versionFile] { signatureFinished(signatureReply, versionFile); });
}

void UpdateWork::signatureFinished(QNetworkReply *reply, const QByteArray &versionFile)
{
    reply->deleteLater();
    current = nullptr;
    if (cancelled)
        return;
    const QUrl next = redirectTarget(reply);
    if (reply->error() == QNetworkReply::NoError && next.isValid() && ++hops <= maxRedirects) {
        requestSignature(next.toString(QUrl::FullyEncoded), versionFile);
        return;
    }
    const signature::Check check = reply->error() == QNetworkReply::NoError && !isRedirect(reply)
                                       ? signature::verify(publicKey.toLatin1(), versionFile, reply->readAll())
                                       : signature::Check::Malformed;
    if (check != signature::Check::Valid) {
        const char *why[] = {"valid", "the pinned key is unusable", "the signature is missing or malformed",
                             "the signature does not match"};
        qDebug() << "version file refused:" << why[int(check)] << reply->errorString();
        emit error(outcome::FileListError);
        return;
    }
    useVersionFile(versionFile);
}

void UpdateWork::useVersionFile(const QByteArray &bytes)
{
    emit pro(10);
    VersionFile file;
    if (!parseVersionFile(bytes, &file)) {
        emit error(outcome::FileListError);
        return;
    }
    for (const QString &note : qAsConst(file.notes))
        emit content(note);
    if (!isAcceptable(file) || !answersRequest(file)) {
        emit error(outcome::FileListError);
        return;
    }
    release = request.version.toUtf8() + ':' + hashOf(bytes).toLatin1();
    parsed = file.lists;
    streamUrl = file.streamUrl;
    checkFile();
}

// A file that would be read or written outside the two directories, or fetched from
// anything but the web, spoils the whole version file before anything is written.
bool UpdateWork::isAcceptable(const VersionFile &file)
{
    const QUrl stream(file.streamUrl);
    if (!file.streamUrl.isEmpty()
        && (!stream.isValid() || stream.host().isEmpty()
            || (stream.scheme() != QLatin1String("http") && stream.scheme() != QLatin1String("https")))) {
        qDebug() << "refused prefix" << file.streamUrl;
        return false;
    }
    for (const FileItem &item : file.lists.files) {
        if (!isContainedEntry(item) || item.size < -1) {
            qDebug() << "refused entry" << item.path << item.name;
            return false;
        }
    }
    if (hasConflictingEntries(file.lists.files)) {
        qDebug() << "one file listed with two hashes";
        return false;
    }
    return true;
}

// A signature covers bytes, not the question they answer: a signed version file of
// another version, or made for another edition's client, is refused. The general file
// (no client named) answers every client. Without a key nothing is bound.
bool UpdateWork::answersRequest(const VersionFile &file) const
{
    if (publicKey.isEmpty())
        return true;
    const QString client = edition::updateClient(third);
    if (file.version != request.version || (!file.client.isEmpty() && file.client != client)) {
        qDebug() << "version file of" << file.version << file.client << "answers another request";
        return false;
    }
    return true;
}

// Where a kept version folder may hold a release file: under its own name and, for the
// shipped client, under the name it was given there (unchanged unless it was branded).
QStringList UpdateWork::placedPaths(const QString &dir, const FileItem &item) const
{
    const QString path = installedPath(dir, item);
    if (request.clientName.isEmpty() || path != dir + QLatin1Char('/') + placement::shippedClientName()
        || !isPlainFileName(request.clientName))
        return {path};
    return {path, dir + QLatin1Char('/') + request.clientName};
}

// The first patch whose base a kept folder holds, by name or by content, and that the
// decoder's window allows.
void UpdateWork::choosePatch(FileItem *item, const QStringList &byName, KeptFiles *kept) const
{
    for (int i = 0; i < item->patches.size(); ++i) {
        const FilePatch &patch = item->patches[i];
        if (patch.baseSize + qMax<qint64>(item->size, 0) > binarypatch::maxPatchedBytes() || item->size < 0)
            continue;
        const QString base = kept->find(byName, patch.base, patch.baseSize);
        if (!base.isEmpty()) {
            item->patchBase = base;
            item->patch = i;
            return;
        }
    }
}

void UpdateWork::checkFile()
{
    emit pro(20);
    if (parsed.files.isEmpty()) {
        emit error(outcome::FileListError);
        return;
    }
    qDebug() << parsed.files.size() << "files";
    // A staging folder an earlier attempt filled from another version file starts anew.
    if (!placement::claimVersionFolder(request.newDir, release)) {
        emit error(outcome::DownloadError);
        return;
    }
    const QStringList sources = QStringList{request.oldDir} + request.keptDirs;
    KeptFiles kept(sources);
    for (FileItem item : qAsConst(parsed.files)) {
        QStringList byName;
        for (const QString &dir : sources)
            byName += placedPaths(dir, item);
        item.local = kept.find(byName, item.hashCode, item.size);
        if (item.local.isEmpty())
            choosePatch(&item, byName, &kept);
        work.files.append(item);
    }
    emit pro(30);
    work.regs = parsed.regs;
    work.bats = parsed.bats;
    downFile();
}
