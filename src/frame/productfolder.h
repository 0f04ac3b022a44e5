#pragma once

#include <QString>

// The folder the installer makes below the chosen directory to hold every installed
// version of an edition: "Nimbra for Unity" for the co-branded edition, else "NimbraPVX".
QString productFolderName(const QString &third);

// The product folder that holds an installation directory, when installDir is
// absolute and its parent is a product folder (by name) and not a root; else empty.
// Only such a folder may be removed as a whole.
QString ownProductFolder(const QString &installDir);
