#include "binarypatch.h"

#include "files.h"
#include "partialfile.h"
#include "sha1.h"

#include <QFile>

#include <memory>

#include <zstd.h>

namespace binarypatch {

namespace {

const int level = 19;
// 1 GiB; 128 MiB in a 32-bit program, where the base and the window share 2 GiB.
const int windowLogMax = sizeof(void *) == 4 ? 27 : 30;

struct FreeCCtx {
    void operator()(ZSTD_CCtx *c) const { ZSTD_freeCCtx(c); }
};
struct FreeDCtx {
    void operator()(ZSTD_DCtx *d) const { ZSTD_freeDCtx(d); }
};

// The smallest window that holds the base and the file, so that every byte of the base
// can be matched.
int windowLogFor(qint64 bytes)
{
    int log = 10;  // zstd's smallest window
    while (log < 30 && (qint64(1) << log) < bytes)
        ++log;
    return log;
}

bool readBase(const QString &path, const QString &hash, QByteArray *bytes)
{
    QFile file;
    if (!platform::openNoFollow(file, path, platform::OpenAs::Read) || file.size() > maxPatchedBytes())
        return false;
    *bytes = file.read(file.size() + 1);
    Sha1 sha1;
    sha1.addData(bytes->constData(), bytes->size());
    return bytes->size() == file.size() && sha1.hexDigest() == hash;
}

} // namespace

QByteArray make(const QByteArray &base, const QByteArray &target)
{
    std::unique_ptr<ZSTD_CCtx, FreeCCtx> c(ZSTD_createCCtx());
    QByteArray patch(int(ZSTD_compressBound(size_t(target.size()))), Qt::Uninitialized);
    if (!c || ZSTD_isError(ZSTD_CCtx_setParameter(c.get(), ZSTD_c_compressionLevel, level))
        || ZSTD_isError(ZSTD_CCtx_setParameter(c.get(), ZSTD_c_enableLongDistanceMatching, 1))
        || ZSTD_isError(ZSTD_CCtx_setParameter(c.get(), ZSTD_c_windowLog, windowLogFor(base.size() + target.size())))
        || ZSTD_isError(ZSTD_CCtx_setParameter(c.get(), ZSTD_c_checksumFlag, 1))
        || ZSTD_isError(ZSTD_CCtx_refPrefix(c.get(), base.constData(), size_t(base.size()))))
        return QByteArray();
    const size_t n = ZSTD_compress2(c.get(), patch.data(), size_t(patch.size()), target.constData(), size_t(target.size()));
    if (ZSTD_isError(n))
        return QByteArray();
    patch.truncate(int(n));
    return patch;
}

qint64 maxPatchedBytes()
{
    return qint64(1) << windowLogMax;
}

bool apply(const QString &base, const QString &baseHash, const QString &patch, qint64 maxSize, PartialFile &part)
{
    QByteArray prefix;
    QFile in;
    std::unique_ptr<ZSTD_DCtx, FreeDCtx> d(ZSTD_createDCtx());
    if (!readBase(base, baseHash, &prefix) || !platform::openNoFollow(in, patch, platform::OpenAs::Read) || !d
        || ZSTD_isError(ZSTD_DCtx_setParameter(d.get(), ZSTD_d_windowLogMax, windowLogMax))
        || ZSTD_isError(ZSTD_DCtx_refPrefix(d.get(), prefix.constData(), size_t(prefix.size()))))
        return false;
    QByteArray input(int(ZSTD_DStreamInSize()), Qt::Uninitialized);
    QByteArray output(int(ZSTD_DStreamOutSize()), Qt::Uninitialized);
    qint64 written = 0;
    size_t left = 1;  // 0 once the frame has ended
    for (qint64 n; (n = in.read(input.data(), input.size())) > 0;) {
        ZSTD_inBuffer from{input.constData(), size_t(n), 0};
        while (from.pos < from.size) {
            // One frame only: the base is the prefix of the first.
            if (left == 0)
                return false;
            ZSTD_outBuffer to{output.data(), size_t(output.size()), 0};
            left = ZSTD_decompressStream(d.get(), &to, &from);
            written += qint64(to.pos);
            if (ZSTD_isError(left) || written > maxSize
                || !part.append(QByteArray::fromRawData(output.constData(), int(to.pos))))
                return false;
        }
    }
    // What the decoder holds back once the input has ended.
    while (left != 0) {
        ZSTD_inBuffer from{nullptr, 0, 0};
        ZSTD_outBuffer to{output.data(), size_t(output.size()), 0};
        left = ZSTD_decompressStream(d.get(), &to, &from);
        written += qint64(to.pos);
        if (ZSTD_isError(left) || to.pos == 0 || written > maxSize
            || !part.append(QByteArray::fromRawData(output.constData(), int(to.pos))))
            return false;
    }
    return true;
}

} // namespace binarypatch
