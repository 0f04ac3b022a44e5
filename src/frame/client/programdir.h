#pragma once

#include <QString>

// The folder a program reads its package or installation from: its own, or, for an
// installer run from a setup file, the private folder its payload was unpacked into (set
// once at start-up, before anything reads it; nothing beside the setup file is read).
QString programDir();
void setProgramDir(const QString &dir);
