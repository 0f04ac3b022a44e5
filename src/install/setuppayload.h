#pragma once

#include <QString>

// A setup file: the installer with its package appended as a zip archive before it is
// signed. tools/mksetup writes where the payload begins, its size and its SHA-256 into a
// mark inside the installer's own image; an installer whose mark is blank is a plain
// install.exe beside its package. The payload is checked whole before a byte of it is
// used, so a damaged or cut setup file is refused, and nothing beside the file is read.
namespace setup {

enum class Payload { None, Unpacked, Damaged };

// Whether this program is a setup file (its mark is filled in).
bool isSetupFile();

// Unpacks the running program's payload into dir (a setup file without a folder to
// unpack into counts as damaged); None for a plain installer.
Payload unpack(const QString &program, const QString &dir);

} // namespace setup
