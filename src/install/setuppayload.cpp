#include "setuppayload.h"

#include "extractdir.h"
#include "files.h"

#include <QCryptographicHash>
#include <QFile>
#include <QObject>

namespace setup {

namespace {

// The mark tools/mksetup fills in: 16 hex digits of the payload's offset, 16 of its size,
// 64 of its SHA-256. Volatile, so that it is read from the image and kept whole.
volatile const char mark[] = "NimbraSetupMark:"
                             "0000000000000000" "0000000000000000"
                             "0000000000000000000000000000000000000000000000000000000000000000";
const int prefixLength = 16;

struct Range
{
    qint64 offset = 0;
    qint64 size = 0;
    QByteArray sha256;
};

Range markedRange()
{
    QByteArray text;
    for (int i = prefixLength; mark[i] != '\0'; ++i)
        text.append(mark[i]);
    bool offsetOk = false;
    bool sizeOk = false;
    Range r{text.mid(0, 16).toLongLong(&offsetOk, 16), text.mid(16, 16).toLongLong(&sizeOk, 16),
            QByteArray::fromHex(text.mid(32, 64))};
    if (!offsetOk || !sizeOk)
        r.size = -1;
    return r;
}

// The payload copied out as the bytes that are hashed.
bool copyPayload(const QString &program, const Range &r, const QString &zip)
{
    QFile in(program);
    QFile out;
    if (!in.open(QIODevice::ReadOnly) || r.size <= 0 || in.size() < r.offset + r.size || !in.seek(r.offset)
        || !platform::openNoFollow(out, zip, platform::OpenAs::Create))
        return false;
    QCryptographicHash sha256(QCryptographicHash::Sha256);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 left = r.size; left > 0;) {
        const qint64 n = in.read(chunk.data(), qMin<qint64>(left, chunk.size()));
        if (n <= 0 || out.write(chunk.constData(), n) != n)
            return false;
        sha256.addData(chunk.constData(), int(n));
        left -= n;
    }
    return out.flush() && sha256.result() == r.sha256;
}

} // namespace

bool isSetupFile()
{
    const Range r = markedRange();
    return r.size != 0 || r.offset != 0;
}

Payload unpack(const QString &program, const QString &dir)
{
    if (!isSetupFile())
        return Payload::None;
    const Range r = markedRange();
    if (dir.isEmpty())
        return Payload::Damaged;
    const QString zip = dir + QStringLiteral("/payload.zip");
    QObject notifier;  // the extraction names each entry on it; no one listens here
    const bool whole = copyPayload(program, r, zip) && !PVXextractDir(zip, dir, &notifier).isEmpty();
    QFile::remove(zip);
    return whole ? Payload::Unpacked : Payload::Damaged;
}

} // namespace setup
