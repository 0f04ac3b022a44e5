#pragma once

#include "serviceaddress.h"
#include "updaterequest.h"
#include "versionfile.h"

#include <QObject>
#include <QUrl>

class DownloadQueue;
class KeptFiles;
class QNetworkAccessManager;
class QNetworkReply;

// The updater's worker: asks the update service for the version file of the request's
// version, reuses files of its oldDir whose SHA-1 matches and downloads the rest into its newDir.
// Lives on a thread of its own; reports progress (10, 20, 30, 40, 70, 100), the
// release notes, and the first failure: -1 for the version file, -2 for a file.
class UpdateWork : public QObject
{
    Q_OBJECT

public:
    explicit UpdateWork(UpdateRequest request, QObject *parent = nullptr);
    ~UpdateWork() override;

    Q_INVOKABLE void start(bool isEn, QString third);
    // Stops the run: the request under way is aborted and nothing further is fetched.
    Q_INVOKABLE void cancel();

    static QString versionFileAddress(const ServiceAddresses &services, const QString &version, bool isEn,
                                      const QString &third);
    // SHA-1 of a file as lower-case hexadecimal; empty when it cannot be read (or is no
    // plain file: the installed version's folder is open to other users).
    static QString fileHash(const QString &path);
    static QString hashOf(const QByteArray &bytes);

    // The publisher's key built into the program, empty when none is.
    static QString builtInKey();

signals:
    void error(int code);
    void pro(int percent);
    void content(QString note);

private:
    void requestVersionFile(const QString &url);
    void requestSignature(const QString &url, const QByteArray &versionFile);
    void versionFileFinished(QNetworkReply *reply);
    void signatureFinished(QNetworkReply *reply, const QByteArray &versionFile);
    void useVersionFile(const QByteArray &bytes);
    void checkFile();
    QStringList placedPaths(const QString &dir, const FileItem &item) const;
    void choosePatch(FileItem *item, const QStringList &byName, KeptFiles *kept) const;
    void downFile();
    bool fetchAll(const QList<FileItem> &items, const QString &section);
    struct Fetch {
        QString url;
        QString path;
        QString hash;
        qint64 size;
    };
    bool placeFile(const FileItem &item, bool *fetch);
    Fetch wholeFile(const QString &section, const FileItem &item) const;
    bool fetchPatched(const QList<FileItem> &patched, const QString &section, QList<Fetch> *whole);
    bool download(const QList<Fetch> &fetches, bool eachOnItsOwn = false);
    QString patchPath(const FileItem &item) const;
    bool applyPatch(const FileItem &item);
    QString fileAddress(const QString &section, const FileItem &item) const;
    QNetworkReply *get(const QString &url, qint64 maxBytes = -1, const QList<QPair<QByteArray, QByteArray>> &headers = {},
                       bool http2 = true);
    static bool isAcceptable(const VersionFile &file);
    bool answersRequest(const VersionFile &file) const;

    UpdateRequest request;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *current = nullptr;  // the version file's or its signature's request
    DownloadQueue *downloads = nullptr;
    bool cancelled = false;
    FileLists parsed;
    FileLists work;
    QString streamUrl;
    QString versionUrl;
    QString publicKey;
    QString third;
    QByteArray versionBytes;  // the version file as far as it has come
    int hops = 0;             // redirects followed for the request under way
    QByteArray release;       // the version and the SHA-1 of its version file
    QUrl http2Url;            // the version file's address when it came over HTTP/2
};
