#include "updatework.h"

#include "sha1.h"
#include "updatestate.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
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
    explicit BodyToFile(const QString &path)
        : file(path)
    {
    }

    // Writes what the reply has so far (nothing for a failed reply); false once the
    // file cannot be written. The file is made at the first call on a good reply, so
    // an empty body still gives an empty file.
    bool take(QNetworkReply *reply)
    {
        if (failed || reply->error() != QNetworkReply::NoError || !isSuccessStatus(reply))
            return !failed;
        if (!file.isOpen()) {
            QDir().mkpath(QFileInfo(file).absolutePath());
            opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            failed = !opened;
        }
        const QByteArray bytes = failed ? QByteArray() : reply->readAll();
        sha1.addData(bytes.constData(), bytes.size());
        failed = failed || file.write(bytes) != bytes.size();
        return !failed;
    }

    bool close()
    {
        file.close();
        return !failed && file.error() == QFile::NoError;
    }

    // A partial file would only mislead: a retry fetches it again anyway.
    void discard()
    {
        file.close();
        if (opened)
            file.remove();
    }

    QString hash() { return sha1.hexDigest(); }

private:
    QFile file;
    Sha1 sha1;
    bool opened = false;
    bool failed = false;
};

} // namespace

void UpdateWork::downFile()
{
    emit pro(40);
    for (const FileItem &item : qAsConst(work.files)) {
        if (!placeFile(item))
            return;
    }
    emit pro(70);
    // Plug-ins: nothing fills work.plugins yet, nor says where a plug-in belongs.
    for (const FileItem &plugin : qAsConst(work.plugins)) {
        const QString url = streamUrl + QStringLiteral("?path=plugins/") + plugin.path + QLatin1Char('/')
                            + plugin.name + QStringLiteral("&version=") + targetVersion;
        if (!fetchFile(url, plugin.local))
            return;
    }
    emit pro(100);
}

// Puts one file of the new version in place: kept when an earlier attempt left it
// whole, copied when the installed one matches, else downloaded and checked.
bool UpdateWork::placeFile(const FileItem &item)
{
    const QString target = newDir + item.path + QLatin1Char('/') + item.name;
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
    const QString url = streamUrl + QStringLiteral("?path=files/") + item.path + QLatin1Char('/') + item.name
                        + QStringLiteral("&version=") + targetVersion;
    QString hash;
    if (!fetchFile(url, target, &hash))
        return false;
    if (hash != item.hashCode) {
        emit error(-2);
        return false;
    }
    return true;
}

// Streams the body to path as it arrives, so memory does not grow with the file, and
// hashes what it writes on the way (*hash), which spares reading the file again.
bool UpdateWork::fetchFile(const QString &url, const QString &path, QString *hash)
{
    QNetworkReply *reply = get(url);
    reply->setReadBufferSize(readBufferSize);
    BodyToFile body(path);
    connect(reply, &QNetworkReply::readyRead, this, [&] {
        if (!body.take(reply))
            reply->abort();
    });
    if (!reply->isFinished()) {
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const bool ok = body.take(reply) && reply->error() == QNetworkReply::NoError && body.close();
    if (!ok) {
        qDebug() << "download failed" << url << reply->errorString();
        body.discard();
        emit error(-2);
    }
    if (hash)
        *hash = body.hash();
    // Not deleteLater: inside this long run of nested loops it would keep every reply
    // of the run alive until the end.
    delete reply;
    return ok;
}
