#include "changelog.h"

#include "files.h"
#include "rights.h"
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

// A name is data: tabs and line breaks would break the line format, other control and
// line-separator characters would forge lines for readers that honour them or drive a
// terminal. Each is written as its UTF-8 bytes in %XX form, and so is "%" itself.
QString field(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const QChar::Category kind = c.category();
        if (c == QLatin1Char('%') || kind == QChar::Other_Control || kind == QChar::Separator_Line
            || kind == QChar::Separator_Paragraph)
            out += QString::fromLatin1(QString(c).toUtf8().toPercentEncoding());
        else
            out += c;
    }
    return out;
}

} // namespace

// A folder already there is no change (a closed one is closed again).
bool ChangeLog::makeFolder(const QString &dir, bool withParents, Last last)
{
    if (last == Last::Closed && QFileInfo(dir).isDir() && !QFileInfo(dir).isSymLink())
        return platform::makeClosedFolder(dir, false);
    if (last == Last::Plain && QFileInfo(dir).isDir())
        return true;
    // Every folder made is a change, the outer ones first.
    QStringList missing{QDir::cleanPath(dir)};
    while (withParents && !QFileInfo::exists(QFileInfo(missing.first()).absolutePath())
           && QFileInfo(missing.first()).absolutePath() != missing.first())
        missing.prepend(QFileInfo(missing.first()).absolutePath());
    bool ok = true;
    for (const QString &folder : missing) {
        if (folder == missing.last() && last != Last::Plain)
            ok = ok && platform::makeClosedFolder(folder, last == Last::ClosedNew);
        else
            ok = ok && QDir().mkdir(folder);
        record("write", "dir", folder, ok);
        if (!ok)
            break;
    }
    return ok;
}

bool ChangeLog::open(const QString &path)
{
    auto *file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
        delete file;
        return false;
    }
    use(file);
    return true;
}

bool ChangeLog::create(const QString &path)
{
    auto *file = new QFile;
    if (!platform::createPrivateFile(*file, path)) {
        delete file;
        return false;
    }
    use(file);
    return true;
}

void ChangeLog::use(QFile *file)
{
    QMutexLocker locker(&logLock);
    delete logFile;
    logFile = file;
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

bool ChangeLog::removeFileBelow(const QString &base, const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymbolicLink())
        return false;
    const bool ok = platform::removeFileBelow(base, path);
    record("remove", info.isSymLink() ? "link" : "file", path, ok);
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

bool ChangeLog::makeClosedPath(const QString &dir, bool exclusive)
{
    return makeFolder(dir, true, exclusive ? Last::ClosedNew : Last::Closed);
}

bool ChangeLog::removeTree(const QString &path)
{
    return platform::removeTree(path, [](const QString &entry, platform::EntryKind kind, bool ok) {
        record("remove", kind == platform::EntryKind::Dir ? "dir" : kind == platform::EntryKind::Link ? "link" : "file",
               entry, ok);
    });
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

bool ChangeLog::setValues(QSettings *key, const QList<QPair<QString, QString>> &values)
{
    for (const auto &value : values) {
        if (!setValue(key, value.first, value.second))
            return false;
    }
    return true;
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
