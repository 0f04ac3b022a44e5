#include "changelog.h"

#include "files.h"
#include "registry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>

namespace {

QMutex logLock;
QFile *logFile = nullptr;

void writeLine(const QString &line)
{
    QMutexLocker locker(&logLock);
    if (!logFile)
        return;
    logFile->write(line.toUtf8() + '\n');
    // A run that is killed still leaves what it did so far.
    logFile->flush();
}

// Tabs and line breaks in a name would break the line format.
QString field(QString text)
{
    for (QChar &c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

} // namespace

// A folder already there is no change.
bool ChangeLog::makeFolder(const QString &dir, bool withParents)
{
    if (QFileInfo(dir).isDir())
        return true;
    const bool ok = withParents ? QDir().mkpath(dir) : QDir().mkdir(dir);
    record("write", "dir", dir, ok);
    return ok;
}

bool ChangeLog::open(const QString &path)
{
    auto *file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        delete file;
        return false;
    }
    QMutexLocker locker(&logLock);
    delete logFile;
    logFile = file;
    return true;
}

void ChangeLog::close()
{
    QMutexLocker locker(&logLock);
    delete logFile;
    logFile = nullptr;
}

bool ChangeLog::isOpen()
{
    QMutexLocker locker(&logLock);
    return logFile != nullptr;
}

void ChangeLog::note(const QString &text)
{
    writeLine(QStringLiteral("# ") + field(text));
}

void ChangeLog::record(const char *action, const char *kind, const QString &path, const char *outcome,
                       const QString &value)
{
    if (!isOpen())
        return;
    QString line = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char('\t')
                   + QLatin1String(action) + QLatin1Char('\t') + QLatin1String(kind) + QLatin1Char('\t')
                   + QLatin1String(outcome) + QLatin1Char('\t') + field(QDir::toNativeSeparators(path));
    if (!value.isNull())
        line += QLatin1Char('\t') + field(value);
    writeLine(line);
}

void ChangeLog::record(const char *action, const char *kind, const QString &path, bool ok, const QString &value)
{
    record(action, kind, path, ok ? "ok" : "failed", value);
}

// Without a log the checks that tell a change from a skipped step are not made: reused
// files are copied and trees removed in the thousands.
bool ChangeLog::copyFile(const QString &from, const QString &to)
{
    if (!isOpen())
        return QFile::copy(from, to);
    // A missing source or a file already in place is a copy skipped, not a change.
    const bool skipped = !QFileInfo::exists(from) || QFileInfo::exists(to);
    const bool ok = QFile::copy(from, to);
    if (ok || !skipped)
        record("write", "file", to, ok);
    return ok;
}

bool ChangeLog::renameFile(const QString &from, const QString &to)
{
    const bool ok = platform::renameFile(from, to);
    record("remove", "file", from, ok);
    record("write", "file", to, ok);
    return ok;
}

bool ChangeLog::removeFile(const QString &path)
{
    if (!isOpen())
        return platform::removeFile(path);
    const QFileInfo info(path);
    // isSymLink() holds for every "*.lnk" name on Windows, there or not: a shortcut that
    // never existed is nothing to remove, not a failed removal.
    if (!info.exists() && !info.isSymbolicLink())
        return false;
    const char *kind = info.isSymLink() ? "link" : "file";
    const bool ok = platform::removeFile(path);
    record("remove", kind, path, ok);
    return ok;
}

bool ChangeLog::link(const QString &target, const QString &linkPath)
{
    const bool ok = QFile::link(target, linkPath);
    record("write", "link", linkPath, ok);
    return ok;
}

bool ChangeLog::makeDir(const QString &dir)
{
    return makeFolder(dir, false);
}

bool ChangeLog::makePath(const QString &dir)
{
    return makeFolder(dir, true);
}

bool ChangeLog::removeDir(const QString &dir)
{
    const bool ok = QDir().rmdir(dir);
    // Folders not yet empty are tried and kept on purpose: only a removal is news.
    if (ok)
        record("remove", "dir", dir, ok);
    return ok;
}

bool ChangeLog::commit(QSettings *key)
{
    key->sync();
    return key->status() == QSettings::NoError;
}

bool ChangeLog::setValue(QSettings *key, const QString &name, const QVariant &value)
{
    key->setValue(name, value);
    const bool ok = commit(key) && key->value(name) == value;
    record("write", "value", platform::registryPathOf(*key) + QLatin1Char('\\') + name, ok, value.toString());
    return ok;
}

bool ChangeLog::remove(QSettings *key, const QString &name)
{
    const bool isKey = key->childGroups().contains(name);
    if (!isKey && !key->contains(name))
        return true;
    key->remove(name);
    const bool ok = commit(key) && !key->contains(name) && !key->childGroups().contains(name);
    record("remove", isKey ? "key" : "value", platform::registryPathOf(*key) + QLatin1Char('\\') + name, ok);
    return ok;
}
