#pragma once

#include "newfile.h"

#include <QByteArray>
#include <QFile>
#include <QMutex>
#include <QQueue>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include <memory>

class DirMaker;

// Writes an archive's entries on a thread of its own while the reader inflates the next
// ones, so the file system's work and the inflating overlap. Entries are written in the
// order given; after each the notifier's object name is set to the entry's name. At
// most maxQueuedBytes wait to be written. Nothing is written through a link below root.
class EntryWriter : public QThread
{
    Q_OBJECT

public:
    // How much may wait to be written by default: enough to keep the writer busy.
    static constexpr qint64 defaultQueuedBytes = 16 * 1024 * 1024;

    EntryWriter(const QString &root, QObject *notifier, qint64 maxQueuedBytes = defaultQueuedBytes);
    ~EntryWriter() override;

    // An entry: a directory, or a file whose bytes follow through append().
    void begin(const QString &target, const QString &name, bool isDir, QFile::Permissions permissions);
    void append(QByteArray bytes);
    // The entry is complete; not ok: its bytes proved wrong and the file goes.
    void end(bool ok);
    // Waits until everything queued is written; false when anything failed.
    bool finish();
    // Whether writing failed: the reader may stop early.
    bool failed() const;
    // The paths written, in order; complete after finish().
    QStringList written() const;

protected:
    void run() override;

private:
    struct Item
    {
        enum Kind { Begin, Data, End, Stop } kind;
        QString target;
        QString name;
        bool isDir = false;
        QFile::Permissions permissions;
        QByteArray bytes;
        bool ok = true;
    };
    void push(Item item);
    bool write(Item &item);

    QString root;
    qint64 maxQueuedBytes;
    QObject *notifier;
    std::unique_ptr<DirMaker> dirs;
    mutable QMutex mutex;
    QWaitCondition changed;
    QQueue<Item> queue;
    qint64 queuedBytes = 0;
    bool broken = false;
    QStringList done;
    // The writer's own state, touched only on its thread.
    Item current;
    platform::NewFile out;
};
