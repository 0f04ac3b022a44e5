#pragma once

#include <QString>

struct ClientConfig;

// Where an installed client leaves its traces: its shortcuts, its autorun value and
// its uninstall entry. The installer makes them, the updater re-points them, the
// uninstaller removes them; all three read the layout from here.

// The client's shortcuts as the installer names them; name is the display name in
// the interface's language. A partner edition keeps its Start-menu shortcuts in a
// folder of that name, the others in "Nimbra".
struct ClientShortcuts
{
    QString folder;  // the Start-menu folder
    QString start;
    QString uninstall;
    QString desktop;
};

ClientShortcuts clientShortcuts(const QString &startMenu, const QString &desktop, const QString &name,
                                const QString &third, bool chinese);

// The two Start-menu shortcuts of the name in folder.
ClientShortcuts shortcutsIn(const QString &folder, const QString &name, bool chinese);

// The autorun value's data. The path is quoted: with blanks in it ("Program Files")
// Windows would otherwise try "C:\Program.exe" first at every logon.
QString autorunData(const QString &clientExe);

// What the uninstall entry says of an installation.
struct UninstallEntry
{
    QString displayName;
    QString uninstallString;  // the uninstaller's path; the entry holds it quoted
    QString installDir;
    QString displayVersion;
    QString displayIcon;
    qint64 estimatedKilobytes = -1;  // the version folder's size; -1 leaves it out
};

// Writes the client's entry in its order: whole at an installation, with the maker's
// publisher name and web address where the edition names them; else only where the
// installation lives, the other values keeping what they had. Fleet tools read the
// quoted UninstallString, QuietUninstallString (with --silent), InstallLocation and
// EstimatedSize (a number, in KB). True once stored.
bool writeUninstallEntry(const ClientConfig &client, const UninstallEntry &entry, bool whole);
bool removeUninstallEntry(const ClientConfig &client);
// The installation the entry names and its version; empty when there is none.
UninstallEntry readUninstallEntry(const ClientConfig &client);
