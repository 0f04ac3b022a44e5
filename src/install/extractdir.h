#pragma once

#include "entrywriter.h"

#include <QString>
#include <QStringList>

class QObject;

// Extracts every entry of the archive fileCompressed below dir, in archive order, and
// returns the absolute paths written. After each entry the notifier's object name is
// set to the entry's name, so it emits objectNameChanged (twice the same name in a
// row emits once). Any failure, also an entry naming a place outside dir, a link found
// in dir, or two names that decode to one file, removes the files extracted so far (not
// the directories) and returns an empty list. Names without the archive's UTF-8 flag are
// UTF-8 when valid, else GBK. At most maxQueuedBytes of inflated data wait for the writer.
QStringList PVXextractDir(QString fileCompressed, QString dir, QObject *notifier,
                          qint64 maxQueuedBytes = EntryWriter::defaultQueuedBytes);

// Where an entry name lands below dir, or empty when it would land outside or Windows
// would alter it: absolute and UNC names, drives and any ":" (an alternate stream on
// Windows), ".." that climbs out, device names and names ending in a dot or a blank.
// Backslashes count as separators, as Windows reads them.
QString entryTarget(const QString &dir, const QString &name);
