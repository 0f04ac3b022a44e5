#pragma once

#include <QByteArray>
#include <QString>

class PartialFile;

// Binary patches in zstd's patch mode: the new file compressed with the old one as the
// window's prefix (level 19, long-distance matching, a window covering both), one frame
// with its checksum. The publisher makes them, the updater applies them.
namespace binarypatch {

// The patch that makes target from base; empty when it cannot be made.
QByteArray make(const QByteArray &base, const QByteArray &target);

// The most a base and its file may weigh together for a patch to be used: the decoder's
// window, bounded for a 32-bit program's address space.
qint64 maxPatchedBytes();

// Makes the file from base (read whole through a handle that follows no link, and taken
// only if its SHA-1 is baseHash: the folders are open to users) and the patch file,
// streamed into part, at most maxSize bytes. False on any fault: a base that changed, a
// damaged or cut patch, more output than maxSize. The part is not committed.
bool apply(const QString &base, const QString &baseHash, const QString &patch, qint64 maxSize, PartialFile &part);

} // namespace binarypatch
