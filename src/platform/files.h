#pragma once

#include <QString>

class QFile;

namespace platform {

// Removes a file or a shortcut, on Windows clearing a read-only attribute first (there it
// stops the removal; elsewhere a file's own mode does not). A shortcut is removed itself,
// never what it points to; outside Windows shortcuts are symbolic links.
bool removeFile(const QString &path);

// Moves a file to a new name on the same volume, replacing nothing: false when it
// cannot be moved as it is (Qt's rename would copy it instead, losing its attributes).
bool renameFile(const QString &from, const QString &to);

// Creates a new file only its owner can read and write, never through a link or over a
// file already there, and opens it for writing; false when that is not possible.
bool createPrivateFile(QFile &file, const QString &path);

// Gives every user full access to a folder and everything below it, waiting at most
// 30 s; the outcome is not reported.
void openToAllUsers(const QString &dir);

// A file in a folder open to every user that only administrators may change: outside
// Windows nobody but its owner may write it; on Windows Administrators and SYSTEM keep
// full control and users may read and run it. False when that could not be set.
bool keepToAdministrators(const QString &path);

// A downloaded program ("*.exe", any case) becomes runnable: outside Windows it gets an
// execute bit for each read bit. Other files are left as they are.
void makeRunnable(const QString &path);

} // namespace platform
