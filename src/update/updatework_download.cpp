#include "updatework.h"

#include "files.h"
#include "safepath.h"
#include "sha1.h"
#include "updatestate.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QTemporaryFile>
#include <QUrl>
#include <QtDebug>

namespace {

const qint64 readBufferSize = 1024 * 1024;

bool isSuccessStatus(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return !status.isValid() || (status.toInt() >= 200 && status.toInt() < 300);
}

// A download's body on its way to a file: written as it arrives, hashed on the way.
class BodyToFile
{
public:
    explicit BodyToFile(QFile *file)
        : file(file)
    {
    }

    // Writes what the reply has so far (nothing for a failed reply); false once the
    // file cannot be written.
    bool take(QNetworkReply *reply)
    {
        if (failed || reply->error() != QNetworkReply::NoError || !isSuccessStatus(reply))
            return !failed;
        const QByteArray bytes = reply->readAll();
        sha1.addData(bytes.constData(), bytes.size());
        written += bytes.size();
        failed = file->write(bytes) != bytes.size();
        return !failed;
    }

    bool close()
    {
        file->close();
        return !failed && file->error() == QFile::NoError;
    }

    QString hash() { return sha1.hexDigest(); }
    qint64 size() const { return written; }

private:
    QFile *file;
    Sha1 sha1;
    qint64 written = 0;
    bool failed = false;
};

// Blanks and plain names are sent as they always were; "+&#%=" and the like would
// otherwise name another file or end the value.
QString queryValue(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value, QByteArrayLiteral(" /!$'()*,;:@")));
}

} // namespace

void UpdateWork::downFile()
{
    emit pro(40);
    for (const FileItem &item : qAsConst(work.files)) {
        if (cancelled || !placeFile(item))
            return;
    }
    emit pro(70);
    // Plug-ins: nothing fills work.plugins yet, nor says where a plug-in belongs.
    for (const FileItem &plugin : qAsConst(work.plugins)) {
        if (!fetchFile(fileAddress(QStringLiteral("plugins"), plugin), plugin.local, QString()))
            return;
    }
    emit pro(100);
}

QString UpdateWork::fileAddress(const QString &section, const FileItem &item) const
{
    return streamUrl + QStringLiteral("?path=") + queryValue(section + QLatin1Char('/') + item.path + QLatin1Char('/') + item.name)
           + QStringLiteral("&version=") + queryValue(targetVersion);
}

// Puts one file of the new version in place: kept when an earlier attempt left it
// whole, copied when the installed one matches, else downloaded and checked.
bool UpdateWork::placeFile(const FileItem &item)
{
    const QString target = targetPath(newDir, item);
    // newDir is open to every user and a retry reuses it: a link planted there would
    // let this elevated program write anywhere.
    const QString link = linkOnTheWay(newDir, target);
    if (!link.isEmpty()) {
        qDebug() << "refused link" << link;
        emit error(-2);
        return false;
    }
    if (QFileInfo(target).isFile() && fileHash(target) == item.hashCode) {
        qDebug() << "kept" << target;
        return true;
    }
    if (!item.local.isEmpty()) {
        qDebug() << "copy";
        QDir().mkpath(QFileInfo(target).absolutePath());
        QFile::remove(target);
        if (!QFile::copy(item.local, target)) {
            emit error(-2);
            return false;
        }
        return true;
    }
    return fetchFile(fileAddress(QStringLiteral("files"), item), target, item.hashCode);
}

// Streams the body to a temporary file beside path as it arrives, so memory does not
// grow with the file, and hashes it on the way. Only a body of the announced length and
// the expected hash (when one is given) takes the file's name; anything else is removed.
bool UpdateWork::fetchFile(const QString &url, const QString &path, const QString &expectedHash)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QTemporaryFile part(path + QStringLiteral(".XXXXXX.part"));
    part.setAutoRemove(false);
    if (!part.open()) {
        emit error(-2);
        return false;
    }
    QNetworkReply *reply = get(url);
    reply->setReadBufferSize(readBufferSize);
    BodyToFile body(&part);
    connect(reply, &QNetworkReply::readyRead, this, [&] {
        if (!body.take(reply))
            reply->abort();
    });
    if (!reply->isFinished()) {
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    current = nullptr;
    if (cancelled) {
        part.remove();
        delete reply;
        return false;
    }
    const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
    bool ok = body.take(reply) && reply->error() == QNetworkReply::NoError && body.close()
              && (!announced.isValid() || announced.toLongLong() == body.size())
              && (expectedHash.isEmpty() || body.hash() == expectedHash);
    if (ok) {
        QFile::remove(path);
        ok = linkOnTheWay(newDir, path).isEmpty() && part.rename(path);
        if (ok)
            platform::makeRunnable(path);
    }
    if (!ok) {
        qDebug() << "download failed" << url << reply->errorString() << body.size() << body.hash();
        part.remove();
        emit error(-2);
    }
    // Not deleteLater: inside this long run of nested loops it would keep every reply
    // of the run alive until the end.
    delete reply;
    return ok;
}
