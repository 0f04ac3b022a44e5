#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// Who may change what in the product folder. The client writes into its version
// folders, so every user may change what is inside them; what runs with administrator
// rights, what it reads, and the folders themselves stay the administrators'. Outside
// Windows the administrators are this run's user (root when run as administrator):
// folders others may write are sticky, so nobody removes or renames what is not theirs.

// The product folder and each version folder in it: the product folder and the
// version folders themselves only administrators may change (nobody else can rename a
// version folder or make a new one); what lies below a version folder every user may
// change; the closedNames at the top of each version folder only administrators may
// change, in every version folder, also those an earlier version opened to all. Staging
// folders ("*.staging") stay closed. Links and junctions are neither followed nor
// changed, nor is anything another user owns. False when a right could not be set.
bool openToAllUsers(const QString &productDir, const QStringList &closedNames);

// Makes dir (its parent must exist) as a folder only administrators may change; an
// existing dir must be a real folder of theirs and is closed again (others'
// rights taken away), unless exclusive, where anything already there is a failure.
bool makeClosedFolder(const QString &dir, bool exclusive);
// A real file or folder (no link or junction) of the administrators, not another user's.
bool isOwn(const QString &path);
// A real folder of the administrators that nobody else may change.
bool isClosedFolder(const QString &dir);

// A configuration file beside a program is trusted as much as the program: a plain file
// (no link) of the program's owner or of the administrators that nobody else may change.
// Anything else may have been put there by another user.
bool isTrustedBeside(const QString &file, const QString &program);

} // namespace platform
