#pragma once

#include <QString>

struct ClientConfig;
class Dialogue;

// The installer's checks before its window appears, asking the user where needed.
// Returns false when the installer must end (with exit code 0). Otherwise *dir is
// the directory the user chose at an earlier installation, or empty on a first one.
bool installPreflight(const ClientConfig &config, const Dialogue &dialogue, QString *dir);

// The directory chosen at an earlier installation, two levels above the stored
// installation directory; cut textually when that directory is gone.
QString earlierChoice(const QString &installedDir);
