#pragma once

#include <QString>

#include <functional>

class QFile;

namespace platform {

// What a walk met: a file (or anything else that is not a folder), a link (or junction),
// a folder.
enum class EntryKind { File, Link, Dir };
using EntryReport = std::function<void(const QString &path, EntryKind kind, bool ok)>;

// Removes a file or a shortcut, on Windows clearing a read-only attribute first (there it
// stops the removal; elsewhere a file's own mode does not). A shortcut is removed itself,
// never what it points to; outside Windows shortcuts are symbolic links.
bool removeFile(const QString &path);

// Moves a file or a folder to a new name on the same volume, replacing nothing (not even
// an empty folder): false when it cannot be moved as it is (Qt's rename would copy it
// instead, losing its attributes).
bool renameFile(const QString &from, const QString &to);

// Removes a folder and everything below it without ever following a link or junction:
// each folder is entered through a handle on it, so one swapped for a link on the way is
// removed as a link, never entered. Reports every entry removed or left (a folder only
// once removed); true when dir is gone.
bool removeTree(const QString &dir, const EntryReport &report);

// Removes a file (a link itself) only when every folder between base and it is a real
// folder, no link or junction, held while the file goes: the folders below base may be
// ones other users can change. base itself is trusted. False when there is a link on the
// way, path is a folder, or the file could not be removed.
bool removeFileBelow(const QString &base, const QString &path);

// How openNoFollow opens: an existing file to read or to update in place, or a new one.
enum class OpenAs { Read, Update, Create };
// Opens a plain file where a link, a folder, a pipe or a device may have been put in its
// place by someone else: never follows a link at the last step, never blocks on a pipe,
// and opens nothing but a regular file. Create makes a new file (nothing may be there).
bool openNoFollow(QFile &file, const QString &path, OpenAs how);

// Creates a new file only its owner can read and write, never through a link or over a
// file already there, and opens it for writing; false when that is not possible.
bool createPrivateFile(QFile &file, const QString &path);

// A copy keeps its source's mode (the programs' execute bits) outside Windows; nothing to
// do on Windows. False when the mode could not be set.
bool keepModeOf(QFile &source, const QString &copy);

// A downloaded program ("*.exe", any case) becomes runnable: outside Windows it gets an
// execute bit for each read bit. Other files are left as they are.
void makeRunnable(const QString &path);

} // namespace platform
