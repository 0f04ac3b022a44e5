// Extraction benchmark: the installer's extraction thread, with its per-entry
// notifications queued to a receiver on the main thread as in the program, against
// `unzip -q` on the same archives. Both are timed alike, as whole processes (start
// included), each into a fresh directory, the order alternating; the best of the rounds.
//   bench_extract [work dir [archive]]   (default: a new folder in the temporary directory;
//                                         with an archive, only that one is measured)
//   bench_extract --extract ARCHIVE DIR  one extraction, as the installer makes it; prints
//                                         the notifications it received
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

// Half text and half random bytes in two levels of folders; sources: all text, in
// folders five deep, as a JDK's sources are.
bool makeArchive(const QString &path, int files, int minSize, int maxSize, bool sources = false)
{
    QRandomGenerator random(files);
    QuaZip zip(path);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (int i = 0; i < files; ++i) {
        QuaZipFile file(&zip);
        const QString name = sources ? QStringLiteral("java.m%1/java/p%2/q%3/r%4/File%5.java")
                                           .arg(i % 60).arg(i % 7).arg(i % 11).arg(i % 13).arg(i)
                                     : QStringLiteral("dir%1/sub%2/file%3.bin").arg(i % 40).arg(i % 7).arg(i);
        if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(name)))
            return false;
        file.write(content(minSize + random.bounded(maxSize - minSize + 1), sources || i % 2 == 0, random));
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

// A whole process, from its start to its end; what it printed.
Result timed(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    return {seconds, process.readAllStandardOutput().trimmed().toInt()};
}

Result runUnzip(const QString &archive, const QString &dest)
{
    return timed(QStringLiteral("unzip"), {QStringLiteral("-q"), archive, QStringLiteral("-d"), dest});
}

Result runInstaller(const QString &archive, const QString &dest)
{
    return timed(QCoreApplication::applicationFilePath(), {QStringLiteral("--extract"), archive, dest});
}

// The child's side: the extraction thread as the installer runs it.
int extractOnce(const QString &archive, const QString &dest)
{
    ZipThread thread;
    QObject receiver;
    int notifications = 0;
    QObject::connect(&thread, &ZipThread::oneOk, &receiver, [&notifications] { ++notifications; });
    QEventLoop loop;
    QObject::connect(&thread, &ZipThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    thread.setPaths(archive, dest);
    thread.start();
    loop.exec();
    if (thread.extracted().isEmpty()) {
        std::fprintf(stderr, "extraction failed\n");
        return 1;
    }
    std::printf("%d\n", notifications);
    return 0;
}

// Debian's JDK sources (openjdk-*-source, which bench/run installs), else any JDK's.
QString jdkSources()
{
    QStringList found;
    for (const QFileInfo &jdk : QDir(QStringLiteral("/usr/lib/jvm")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QFileInfo zip(jdk.filePath() + QStringLiteral("/lib/src.zip"));
        if (zip.exists() && zip.size() > 0)
            found.append(zip.canonicalFilePath());
    }
    std::sort(found.begin(), found.end(), [](const QString &a, const QString &b) {
        return a.contains(QLatin1String("/openjdk-")) > b.contains(QLatin1String("/openjdk-"));
    });
    return found.value(0);
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
    if (argc == 4 && QByteArray(argv[1]) == "--extract")
        return extractOnce(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
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
    // A real archive no one here made: a JDK's sources; where none is installed, one of
    // the same shape (15,000 source files of 13 KB on average in deep folders).
    QString jdk = jdkSources();
    if (jdk.isEmpty()) {
        jdk = work + QStringLiteral("/jdk-shaped.zip");
        if (!makeArchive(jdk, 15000, 1024, 25 * 1024, true))
            return 1;
        std::printf("no JDK sources in /usr/lib/jvm: an archive of their shape instead\n");
    }
    compare("JDK src.zip", "jdk", jdk, work, 5);
    return 0;
}
