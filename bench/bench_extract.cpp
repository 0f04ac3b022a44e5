// Extraction benchmark: the installer's extraction thread, with its per-entry
// notifications queued to a receiver on the main thread as in the program, against
// `unzip -q` on the same archives, each run into a fresh directory.
//   bench_extract [work dir [archive]]   (default: a new folder in the temporary directory;
//                                         with an archive, only that one is measured)
#include "zipthread.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

// Text-like bytes compress well; random bytes stand in for images and binaries.
QByteArray content(int size, bool compressible, QRandomGenerator &random)
{
    QByteArray bytes(size, Qt::Uninitialized);
    if (compressible) {
        static const char words[] = "render scene light mesh material texture shadow camera ";
        for (int i = 0; i < size; ++i)
            bytes[i] = words[(i + random.bounded(3)) % (sizeof(words) - 1)];
    } else {
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
    }
    return bytes;
}

bool makeArchive(const QString &path, int files, int minSize, int maxSize)
{
    QRandomGenerator random(files);
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (int i = 0; i < files; ++i) {
        QuaZipFile file(&zip);
        const QString name = QStringLiteral("dir%1/sub%2/file%3.bin").arg(i % 40).arg(i % 7).arg(i);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)))
            return false;
        file.write(content(minSize + random.bounded(maxSize - minSize + 1), i % 2 == 0, random));
        file.close();
    }
    zip.close();
    return zip.getZipError() == ZIP_OK;
}

struct Result
{
    double seconds = 0;
    int notifications = 0;
};

Result runUnzip(const QString &archive, const QString &dest)
{
    QElapsedTimer timer;
    timer.start();
    QProcess::execute(QStringLiteral("unzip"), {QStringLiteral("-q"), archive, QStringLiteral("-d"), dest});
    return {timer.nsecsElapsed() / 1e9, 0};
}

Result runInstaller(const QString &archive, const QString &dest)
{
    ZipThread thread;
    QObject receiver;
    Result result;
    QObject::connect(&thread, &ZipThread::oneOk, &receiver, [&result] { ++result.notifications; });
    QEventLoop loop;
    QObject::connect(&thread, &ZipThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QElapsedTimer timer;
    timer.start();
    thread.setPaths(archive, dest);
    thread.start();
    loop.exec();
    result.seconds = timer.nsecsElapsed() / 1e9;
    if (thread.extracted().isEmpty())
        std::fprintf(stderr, "extraction failed\n");
    return result;
}

void compare(const char *label, const char *key, const QString &archive, const QString &work, int rounds)
{
    double best[2] = {1e9, 1e9};
    int notifications = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString base = QStringLiteral("%1/%2-%3").arg(work).arg(QLatin1String(key)).arg(round);
        // Alternate the order: the one that runs second pays for the first one's writeback.
        Result own;
        if (round % 2 == 0) {
            best[0] = std::min(best[0], runUnzip(archive, base + QStringLiteral("-unzip")).seconds);
            own = runInstaller(archive, base + QStringLiteral("-installer"));
        } else {
            own = runInstaller(archive, base + QStringLiteral("-installer"));
            best[0] = std::min(best[0], runUnzip(archive, base + QStringLiteral("-unzip")).seconds);
        }
        best[1] = std::min(best[1], own.seconds);
        notifications = own.notifications;
    }
    std::printf("%-22s unzip %7.3f s   installer %7.3f s   ratio %.2f   %d notifications, %.0f per second\n",
                label, best[0], best[1], best[1] / best[0], notifications, notifications / best[1]);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    QDir().mkpath(work);
    if (argc > 2) {
        compare("given archive", "given", QString::fromLocal8Bit(argv[2]), work, 5);
        return 0;
    }

    const QString large = work + QStringLiteral("/large.zip");
    const QString small = work + QStringLiteral("/small.zip");
    std::printf("making archives in %s\n", qPrintable(work));
    if (!makeArchive(large, 3000, 20 * 1024, 80 * 1024) || !makeArchive(small, 20000, 1024, 4096))
        return 1;
    std::printf("large: %.0f MB compressed; small: %.1f MB compressed\n", QFileInfo(large).size() / 1e6,
                QFileInfo(small).size() / 1e6);
    compare("3000 files / ~150 MB", "large", large, work, 3);
    compare("20000 files / 1-4 KB", "small", small, work, 3);
    // A real archive no one here made: a JDK's sources where one is installed.
    const QFileInfoList jdks = QDir(QStringLiteral("/usr/lib/jvm")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    const auto jdk = std::find_if(jdks.cbegin(), jdks.cend(), [](const QFileInfo &d) {
        return QFileInfo(d.filePath() + QStringLiteral("/lib/src.zip")).size() > 0;
    });
    if (jdk != jdks.cend())
        compare("JDK src.zip (real)", "jdk", jdk->filePath() + QStringLiteral("/lib/src.zip"), work, 5);
    else
        std::printf("JDK src.zip skipped: no JDK in /usr/lib/jvm\n");
    return 0;
}
