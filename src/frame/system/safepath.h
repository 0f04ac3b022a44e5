#pragma once

#include <QString>

// Rules for names that arrive from outside (archive entries, version files) and become
// paths below a folder of ours.

// One segment Windows keeps as given, so that a package behaves the same everywhere:
// not a device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an
// extension, in any case), not ending in a dot or a blank, without a colon or a
// control character.
bool isPortableSegment(const QString &segment);

// Every segment of a relative name is portable; "/" and "\" both separate, empty
// segments (doubled or leading separators) are skipped.
bool isPortableName(const QString &relative);

// The first symbolic link on the way from dir down to path, dir itself included; empty
// when there is none. Writing through such a link would land outside dir.
QString linkOnTheWay(const QString &dir, const QString &path);

// Whether path lies strictly below dir once both are cleaned (dir itself is not below).
bool isInside(const QString &dir, const QString &path);
