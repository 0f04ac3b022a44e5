// Update benchmark, each figure against its reference tool in the same run:
//  (a) the reuse check's hashing of many installed files, against sha1sum;
//  (b) the worker downloading a release from nginx on 127.0.0.1, against curl fetching
//      the same addresses in one process (3,000 small files; 200 files / 100 MB), on
//      loopback and through a link with a 50 ms round trip (bench/latencyproxy.py),
//      where curl also fetches six at a time as the worker does;
//  (c) peak resident memory downloading one and six 1 GiB files, against curl; and refusing a
//      100 MB version file and compressed bombs.
//   bench_update [work dir]
#include "benchsupport.h"
#include "updatework.h"
#include "versionfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>

namespace {

using namespace bench;

// (a)
void hashing(const QString &work)
{
    QRandomGenerator random(7);
    QStringList files;
    for (int i = 0; i < 1500; ++i) {
        files << QStringLiteral("%1/installed/d%2/f%3.bin").arg(work).arg(i % 30).arg(i);
        writeFile(files.last(), 40 * 1024 + random.bounded(120 * 1024), random);
    }
    double ours = 1e9, reference = 1e9;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (const QString &f : files)
            UpdateWork::fileHash(f);
        ours = qMin(ours, seconds(timer));
        timer.restart();
        QProcess sha1sum;
        sha1sum.start(QStringLiteral("sha1sum"), files);
        sha1sum.waitForFinished(-1);
        reference = qMin(reference, seconds(timer));
    }
    std::printf("(a) hashing 1500 files / ~150 MB   sha1sum %.3f s   worker %.3f s   throughput ratio %.2f (goal >= 0.95)\n",
                reference, ours, reference / ours);
}

// (b) over a 50 ms round trip: the waits overlap or they do not.
void overLink(const QString &work, Nginx &nginx)
{
    LatencyLink link(portOf(nginx.url()), 25);
    if (!link.port) {
        std::printf("(b) 50 ms link skipped: the latency proxy did not start\n");
        return;
    }
    const QString server = withPort(nginx.url(), link.port);
    const QStringList urls = publish(work, QStringLiteral("linked"), 3000, 3000, server);
    const double parallel = curlFetch(urls, work + QStringLiteral("/curl-linked-parallel"),
                                      {QStringLiteral("--parallel"), QStringLiteral("--parallel-max"), QStringLiteral("6")});
    const double ours = workerFetch(server, QStringLiteral("linked"), work + QStringLiteral("/worker-linked"));
    // Sequential curl pays every round trip: measured on a tenth and scaled, for scale only.
    const double sequential = 10 * curlFetch(urls.mid(0, 300), work + QStringLiteral("/curl-linked-sequential"));
    std::printf("(b) 3000 files of 3 KB, 50 ms link curl -Z6 %.3f s   worker %.3f s   ratio %.2f (goal <= 1.1)"
                "   sequential curl ~%.0f s\n",
                parallel, ours, ours / parallel, sequential);
}

// (c) a 100 MB version file, a comment before its list: refused at the cap without
// holding what Qt would have buffered.
void bloatedVersionFile(const QString &work, Nginx &nginx)
{
    QDir().mkpath(work + QStringLiteral("/releases/bloated"));
    QFile xml(work + QStringLiteral("/releases/bloated/version.xml"));
    xml.open(QIODevice::WriteOnly);
    xml.write("<?xml version=\"1.0\"?>\n<!--");
    const QByteArray filler(1024 * 1024, 'x');
    for (int i = 0; i < 100; ++i)
        xml.write(filler);
    xml.write("-->\n");
    xml.write(writeVersionFile(QStringLiteral("bloated"), nginx.url() + QStringLiteral("/stream/"), {}, {}).mid(22));
    xml.close();
    bool ok = false;
    const double peak = peakMiB(workerCommand(nginx.url(), QStringLiteral("bloated"), work + QStringLiteral("/worker-bloated")), &ok);
    std::printf("(c) a 100 MB version file, peak RSS worker %.0f MiB, %s (goal <= 64 MiB, refused)\n", peak,
                ok ? "accepted" : "refused");
}

// (c) a hostile service compresses what was asked for as it is: a gzip body of 1 MB that
// inflates to 1 GiB, as the version file and as a file published with 100,000 bytes.
void compressedBombs(const QString &work)
{
    const QString releases = work + QStringLiteral("/bombs");
    QDir().mkpath(releases + QStringLiteral("/bomb/files"));
    writeFile(releases + QStringLiteral("/bomb/files/b.bin"), 100000, *QRandomGenerator::global());
    QFile xml(releases + QStringLiteral("/bomb/version.xml"));
    xml.open(QIODevice::WriteOnly);
    xml.write(writeVersionFile(QStringLiteral("bomb"), QStringLiteral("{server}/stream/"), {},
                               {{"b.bin", "/", UpdateWork::fileHash(releases + QStringLiteral("/bomb/files/b.bin")), {}, 100000}}));
    xml.close();
    for (const char *match : {"getVersionFile", "b.bin"}) {
        QProcess service;
        service.start(QStringLiteral("python3"), {QStringLiteral(REFSERVER), QStringLiteral("--releases"), releases,
                                                  QStringLiteral("--fault"), QStringLiteral("encoding:gzip:1024@") + QLatin1String(match)});
        if (!service.waitForReadyRead(10000)) {
            std::printf("(c) compressed bombs skipped: refserver did not start\n");
            return;
        }
        const QString url = QString::fromUtf8(service.readLine().split(' ').value(1).trimmed());
        bool ok = false;
        const double peak = peakMiB(workerCommand(url, QStringLiteral("bomb"), work + QStringLiteral("/worker-bomb-") + QLatin1String(match)), &ok);
        std::printf("(c) a 1 GiB gzip bomb as %-14s peak RSS worker %.0f MiB, %s (goal <= 64 MiB, refused)\n",
                    match == QLatin1String("b.bin") ? "a file" : "the file list", peak, ok ? "accepted" : "refused");
        service.kill();
        service.waitForFinished();
    }
}

// (b) and (c)
void downloads(const QString &work)
{
    if (!QFile::exists(QStringLiteral("/usr/sbin/nginx"))) {
        std::printf("(b), (c) skipped: nginx-light is not installed\n");
        return;
    }
    Nginx nginx(work);
    if (!nginx.running()) {
        std::printf("(b), (c) skipped: nginx did not start (see %s/error.log)\n", qPrintable(work));
        return;
    }
    struct Case { const char *label; const char *version; int count; qint64 size; double goal; };
    for (const Case &c : {Case{"3000 files of 3 KB", "small", 3000, 3000, 1.0},
                          Case{"200 files / 100 MB", "large", 200, 512 * 1024, 1.0}}) {
        const QStringList urls = publish(work, QLatin1String(c.version), c.count, c.size, nginx.url());
        double curl = 1e9, ours = 1e9;
        for (int round = 0; round < 3; ++round) {
            curl = qMin(curl, curlFetch(urls, QStringLiteral("%1/curl-%2-%3").arg(work, QLatin1String(c.version)).arg(round)));
            ours = qMin(ours, workerFetch(nginx.url(), QLatin1String(c.version),
                                          QStringLiteral("%1/worker-%2-%3").arg(work, QLatin1String(c.version)).arg(round)));
        }
        std::printf("(b) %-26s curl %.3f s   worker %.3f s   ratio %.2f (goal <= %.1f)\n", c.label, curl, ours,
                    ours / curl, c.goal);
    }

    overLink(work, nginx);

    const QString huge = work + QStringLiteral("/releases/huge/files/one/big.bin");
    QDir().mkpath(QFileInfo(huge).absolutePath());
    QFile big(huge);
    big.open(QIODevice::WriteOnly);
    big.resize(qint64(1) << 30);
    big.close();
    QFile xml(work + QStringLiteral("/releases/huge/version.xml"));
    xml.open(QIODevice::WriteOnly);
    xml.write(writeVersionFile(QStringLiteral("huge"), nginx.url() + QStringLiteral("/stream/"), {},
                               {{"big.bin", "/one/", UpdateWork::fileHash(huge), {}}}));
    xml.close();
    bool ok = false;
    const double curlPeak = peakMiB({QStringLiteral("curl"), QStringLiteral("-s"), QStringLiteral("-o"),
                                     work + QStringLiteral("/curl-huge.bin"),
                                     nginx.url() + QStringLiteral("/s/getVersionStream.htm?path=files//one//big.bin&version=huge")},
                                    &ok);
    const double ourPeak = peakMiB(workerCommand(nginx.url(), QStringLiteral("huge"), work + QStringLiteral("/worker-huge")), &ok);
    std::printf("(c) one 1 GiB download, peak RSS   curl %.0f MiB   worker %.0f MiB%s (goal <= 64 MiB)\n", curlPeak, ourPeak,
                ok ? "" : " (the worker failed)");
    QDir(work + QStringLiteral("/worker-huge")).removeRecursively();

    // Six at once: the release lists six names for sparse copies of the same gigabyte.
    QList<FileItem> six;
    const QString hash = UpdateWork::fileHash(huge);
    for (int i = 0; i < 6; ++i) {
        QDir().mkpath(work + QStringLiteral("/releases/huge6/files/one"));
        QFile::link(huge, work + QStringLiteral("/releases/huge6/files/one/big%1.bin").arg(i));
        six.append({QStringLiteral("big%1.bin").arg(i), QStringLiteral("/one/"), hash, {}});
    }
    QFile xml6(work + QStringLiteral("/releases/huge6/version.xml"));
    xml6.open(QIODevice::WriteOnly);
    xml6.write(writeVersionFile(QStringLiteral("huge6"), nginx.url() + QStringLiteral("/stream/"), {}, six));
    xml6.close();
    const double sixPeak = peakMiB(workerCommand(nginx.url(), QStringLiteral("huge6"), work + QStringLiteral("/worker-huge6")), &ok);
    std::printf("(c) six 1 GiB downloads at once    worker %.0f MiB%s (goal <= 64 MiB)\n", sixPeak,
                ok ? "" : " (the worker failed)");
    QDir(work + QStringLiteral("/worker-huge6")).removeRecursively();
    bloatedVersionFile(work, nginx);
    compressedBombs(work);
}

} // namespace

int main(int argc, char *argv[])
{
    return bench::benchMain(argc, argv, [](const QString &work) {
        hashing(work);
        downloads(work);
    });
}
