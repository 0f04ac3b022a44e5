#pragma once

#include <QList>
#include <QPair>
#include <QString>

class QFile;
class QSettings;
class QVariant;

// What a run changed on the machine, for the people who support it: every file, folder,
// link and registry value written or removed, with its outcome, one line each:
//   time <TAB> write|remove <TAB> file|dir|link|value|key <TAB> ok|failed|scheduled <TAB> path [<TAB> value]
// The helpers make the change and record it; without an open log they only make it.
// Safe to use from worker threads.
class ChangeLog
{
public:
    // Appends to the file at path; false when it cannot be written.
    static bool open(const QString &path);
    // A new file only its owner can read, made for this run: never an existing file or
    // a link someone else put there.
    static bool create(const QString &path);
    static void close();
    static bool isOpen();

    // A line starting with "#": what was run, and how it ended.
    static void note(const QString &text);
    static void record(const char *action, const char *kind, const QString &path, const char *outcome,
                       const QString &value = QString());
    static void record(const char *action, const char *kind, const QString &path, bool ok,
                       const QString &value = QString());

    static bool copyFile(const QString &from, const QString &to);
    // Never a copy in place of a move: a client copied without its attributes would not run.
    static bool renameFile(const QString &from, const QString &to);
    // A file or a link; a path where nothing is records nothing.
    static bool removeFile(const QString &path);
    // The same, only when no link or junction lies between base and the file.
    static bool removeFileBelow(const QString &base, const QString &path);
    static bool link(const QString &target, const QString &linkPath);
    static bool makeDir(const QString &dir);
    static bool makePath(const QString &dir);
    // dir made (with its missing parents) as a folder only administrators may change;
    // exclusive: it must be new.
    static bool makeClosedPath(const QString &dir, bool exclusive);
    static bool removeDir(const QString &dir);
    // A folder with everything below it, never through a link; a file or a link goes itself.
    static bool removeTree(const QString &path);

    // A registry change counts once it is committed: true when it is stored.
    static bool setValue(QSettings *key, const QString &name, const QVariant &value);
    // Each in order, stopping at the first that is not stored.
    static bool setValues(QSettings *key, const QList<QPair<QString, QString>> &values);
    // A value, or a whole sub-key of that name; a name that is absent records nothing
    // and is true.
    static bool remove(QSettings *key, const QString &name);

private:
    static void use(QFile *file);
    static bool commit(QSettings *key);
    enum class Last { Plain, Closed, ClosedNew };
    static bool makeFolder(const QString &dir, bool withParents, Last last = Last::Plain);
};
