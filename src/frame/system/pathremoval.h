#pragma once

#include <QString>

namespace helpers {

// Deletes a file, shortcut or whole tree as far as it can, never through a link or
// junction, and the product folder or Start-menu folder it leaves empty; what resists
// stays, silently. Every removal goes into the change log.
void removePath(const QString &path);
// Removes a folder of ours that holds nothing any more; one holding anything stays.
void removeIfEmpty(const QString &folder);

} // namespace helpers
