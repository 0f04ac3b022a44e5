#pragma once

#include <QStringList>

namespace platform {

// The names in the folder open as dirFd ("." and ".." left out), read through a handle
// of its own so that dirFd stays where it is.
QStringList namesIn(int dirFd);

} // namespace platform
