#pragma once

#include <QString>

// The client's start-up script in one 3ds Max start-up folder: the 2010-2012 versions
// (any "2010" to "2012" in the folder's path) have their own.
QString maxStartupScript(const QString &startupDir);
