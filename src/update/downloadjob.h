#pragma once

#include "downloadlimits.h"

#include <QString>

#include <memory>

class PartialFile;
class QNetworkReply;

// One file of a DownloadQueue: where it comes from and goes, what it must hash to, the
// part on disk and the reply under way, and the rules a body must keep.
struct DownloadJob
{
    explicit DownloadJob(const DownloadLimits &limits);
    ~DownloadJob();

    DownloadLimits limits;

    QString url;
    QString path;
    QString expectedHash;
    qint64 size = -1;
    std::unique_ptr<PartialFile> part;
    QNetworkReply *reply = nullptr;
    qint64 checkedAt = 0;
    int redirects = 0;
    bool answered = false;
    bool resumed = false;    // this reply continues a part on disk
    bool wholeTried = false; // a part that proved wrong was fetched whole once
    bool proven = false;     // the body broke a rule: nothing of it is worth keeping

    // A part beside the target, holding what an earlier attempt left of it.
    bool openPart();
    // Small enough to share one HTTP/2 connection with many others: what Qt holds of it
    // is bounded by its published size.
    bool small() const;
    // The reply ended without a network error, with a success status (or none: a file).
    bool succeeded() const;
    // The file's whole length as this answer gives it: a 206's Content-Range total, a
    // direct 200's Content-Length (a redirected reply may keep the first answer's).
    qint64 total() const;
    qint64 limit() const;
    bool roomLeft(const QString &root);
    // The first bytes of an answer: a 206 must go on exactly where the part ends; a 200
    // starts the file over. The validator is kept for a later attempt.
    bool answer();
    // Writes what the reply has so far; nothing of a failed reply, nothing past the limit.
    bool take(const QString &root);
};
