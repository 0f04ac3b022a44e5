#pragma once

#include <QString>

// The client's shortcuts as the installer names them.
struct ClientShortcuts
{
    QString start;
    QString uninstall;
    QString desktop;
};

// name is the display name in the interface's language; a partner edition keeps its
// shortcuts in a Start-menu folder of that name, the others in "Nimbra".
ClientShortcuts clientShortcuts(const QString &startMenu, const QString &desktop, const QString &name,
                                const QString &third, bool chinese);

// The client's start-up script in one 3ds Max start-up folder: the 2010-2012 versions
// (any "2010" to "2012" in the folder's path) have their own.
QString maxStartupScript(const QString &startupDir);
