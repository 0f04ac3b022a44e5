#pragma once

#include <QString>

namespace platform {

// Removes a file or a shortcut, clearing a read-only attribute first. A shortcut is
// removed itself, never what it points to; outside Windows shortcuts are symbolic
// links, whose target must not lose its permissions either.
bool removeFile(const QString &path);

} // namespace platform
