#pragma once

#include <QString>

// The product folder that holds an installation directory, when installDir is
// absolute and its parent is a product folder (by name) and not a root; else empty.
// Only such a folder may be removed as a whole.
QString ownProductFolder(const QString &installDir);
