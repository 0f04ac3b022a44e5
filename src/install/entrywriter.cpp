#include "entrywriter.h"

#include "changelog.h"
#include "files.h"
#include "safepath.h"

#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>

// Creates directories, remembering those already made: one mkpath per directory
// rather than one per file keeps archives of many small files fast. Earlier installs
// opened the product folder to every user, so a link planted there is never followed.
class DirMaker
{
public:
    explicit DirMaker(const QString &root)
        : root(root)
    {
    }

    bool make(const QString &path)
    {
        if (made.contains(path))
            return true;
        if (!linkOnTheWay(root, path).isEmpty() || !ChangeLog::makePath(path))
            return false;
        made.insert(path);
        return true;
    }

private:
    QString root;
    QSet<QString> made;
};

EntryWriter::EntryWriter(const QString &root, QObject *notifier, qint64 maxQueuedBytes)
    : root(root)
    , maxQueuedBytes(maxQueuedBytes)
    , notifier(notifier)
    , dirs(std::make_unique<DirMaker>(root))
{
}

EntryWriter::~EntryWriter()
{
    if (isRunning())
        finish();
}

void EntryWriter::push(Item item)
{
    QMutexLocker lock(&mutex);
    while (!broken && queuedBytes > maxQueuedBytes)
        changed.wait(&mutex);
    queuedBytes += item.bytes.size();
    queue.enqueue(std::move(item));
    changed.wakeAll();
}

void EntryWriter::begin(const QString &target, const QString &name, bool isDir, QFile::Permissions permissions)
{
    push({Item::Begin, target, name, isDir, permissions, {}, true});
}

void EntryWriter::append(QByteArray bytes)
{
    push({Item::Data, {}, {}, false, {}, std::move(bytes), true});
}

void EntryWriter::end(bool ok)
{
    push({Item::End, {}, {}, false, {}, {}, ok});
}

bool EntryWriter::finish()
{
    push({Item::Stop, {}, {}, false, {}, {}, true});
    wait();
    return !failed();
}

bool EntryWriter::failed() const
{
    QMutexLocker lock(&mutex);
    return broken;
}

QStringList EntryWriter::written() const
{
    QMutexLocker lock(&mutex);
    return done;
}

void EntryWriter::run()
{
    for (;;) {
        QMutexLocker lock(&mutex);
        while (queue.isEmpty())
            changed.wait(&mutex);
        Item item = queue.dequeue();
        queuedBytes -= item.bytes.size();
        changed.wakeAll();
        if (item.kind == Item::Stop)
            return;
        if (broken)
            continue;  // drained, so the reader is never held
        lock.unlock();
        const bool ok = write(item);
        lock.relock();
        broken = !ok;
    }
}

// One step of an entry: its directory and file made, bytes written, the file closed and
// checked, its permissions set and the entry announced.
bool EntryWriter::write(Item &item)
{
    switch (item.kind) {
    case Item::Begin:
        current = std::move(item);
        if (current.isDir)
            return dirs->make(current.target);
        if (dirs->make(QFileInfo(current.target).absolutePath()) && out.open(current.target))
            return true;
        ChangeLog::record("write", "file", current.target, false);
        return false;
    case Item::Data:
        if (out.write(item.bytes))
            return true;
        item.ok = false;
        break;
    case Item::End:
    case Item::Stop:
        break;
    }
    if (current.isDir) {
        if (current.permissions != 0)
            QFile::setPermissions(current.target, current.permissions);
    } else {
        out.setPermissions(current.permissions);
        const bool ok = out.close() && item.ok;
        if (!ok)
            platform::removeFile(current.target);
        ChangeLog::record("write", "file", current.target, ok);
        if (!ok)
            return false;
    }
    {
        QMutexLocker lock(&mutex);
        done.append(current.target);
    }
    notifier->setObjectName(current.name);
    return true;
}
