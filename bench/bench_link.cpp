// HTTP/2 benchmark: nginx with the publisher's template over TLS, through a link with a
// 50 ms round trip (bench/latencyproxy.py), each figure against curl in the same run:
//  (e) 3,000 files of 3 KB: the worker against curl over HTTP/1.1 six at a time and
//      over HTTP/2 64 at a time;
//  (f) the same files through the template's query addresses and by their static paths;
//  (g) 200 files of 512 KB: the worker against curl over HTTP/2, and its peak memory;
//  (h) on loopback, 3,000 files of 3 KB over HTTP/2 against curl one at a time;
//  (j) on loopback, one 1 GiB file over HTTP/2 and its peak memory;
//  (i) 60 files of 64 KB over a 48 KB/s link: so many streams in flight that each got
//      less than the speed floor (30 KiB in 30 s) would fail the update.
//   bench_link [work dir [letters]]   (letters: only those figures, for example "gj")
#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

using namespace bench;

const QStringList http2Parallel{QStringLiteral("--http2"), QStringLiteral("--parallel"), QStringLiteral("--parallel-max"),
                                QStringLiteral("64")};

void smallFiles(const QString &work, const Nginx &nginx, const QString &server)
{
    const QStringList urls = publish(work, QStringLiteral("small"), 3000, 3000, server);
    const double http1 = curlFetch(urls, work + QStringLiteral("/curl-small-h1"),
                                   {QStringLiteral("--http1.1"), QStringLiteral("--parallel"), QStringLiteral("--parallel-max"),
                                    QStringLiteral("6")},
                                   nginx.ca());
    const double http2 = curlFetch(urls, work + QStringLiteral("/curl-small-h2"), http2Parallel, nginx.ca());
    const double ours = workerFetch(server, QStringLiteral("small"), work + QStringLiteral("/worker-small"), nullptr, nginx.ca());
    std::printf("(e) 3000 files of 3 KB   curl h1.1 -Z6 %.3f s   curl h2 -Z64 %.3f s   worker %.3f s   "
                "ratio %.2f (goal <= 0.3)   ratio %.2f (goal <= 1.2)\n",
                http1, http2, ours, ours / http1, ours / http2);

    const QStringList paths = publish(work, QStringLiteral("small"), 3000, 3000, server, Addresses::Static);
    double byTemplate = 1e9, byPath = 1e9;
    for (int round = 0; round < 3; ++round) {
        byTemplate = qMin(byTemplate, curlFetch(urls, work + QStringLiteral("/curl-template-%1").arg(round), http2Parallel,
                                                nginx.ca()));
        byPath = qMin(byPath, curlFetch(paths, work + QStringLiteral("/curl-static-%1").arg(round), http2Parallel, nginx.ca()));
    }
    std::printf("(f) the same by curl h2 -Z64   static paths %.3f s   template %.3f s   ratio %.2f (goal <= 1.05)\n", byPath,
                byTemplate, byTemplate / byPath);
}

void largeFiles(const QString &work, const Nginx &nginx, const QString &server)
{
    const QStringList urls = publish(work, QStringLiteral("large"), 200, 512 * 1024, server);
    const double curl = curlFetch(urls, work + QStringLiteral("/curl-large"), {QStringLiteral("--http2"), QStringLiteral("-Z")},
                                  nginx.ca());
    double peak = 0;
    const double ours = workerFetch(server, QStringLiteral("large"), work + QStringLiteral("/worker-large"), &peak, nginx.ca());
    std::printf("(g) 200 files of 512 KB   curl h2 -Z %.3f s   worker %.3f s   ratio %.2f (goal <= 1.1)   "
                "peak RSS %.0f MiB (goal <= 64)\n",
                curl, ours, ours / curl, peak);
}

void loopback(const QString &work, const Nginx &nginx)
{
    const QStringList urls = publish(work, QStringLiteral("loop"), 3000, 3000, nginx.tlsUrl());
    const double sequential = curlFetch(urls, work + QStringLiteral("/curl-loop"), {QStringLiteral("--http2")}, nginx.ca());
    const double ours = workerFetch(nginx.tlsUrl(), QStringLiteral("loop"), work + QStringLiteral("/worker-loop"), nullptr,
                                    nginx.ca());
    std::printf("(h) loopback, 3000 files of 3 KB over h2   curl one at a time %.3f s   worker %.3f s   ratio %.2f\n",
                sequential, ours, ours / sequential);
}

void hugeFile(const QString &work, const Nginx &nginx)
{
    publish(work, QStringLiteral("huge"), 1, qint64(1) << 30, nginx.tlsUrl());
    double peak = 0;
    const double ours = workerFetch(nginx.tlsUrl(), QStringLiteral("huge"), work + QStringLiteral("/worker-huge"), &peak, nginx.ca());
    std::printf("(j) loopback, one 1 GiB file over h2   worker %.2f s   peak RSS %.0f MiB (goal <= 64)\n", ours, peak);
    QDir(work + QStringLiteral("/worker-huge")).removeRecursively();
    QDir(work + QStringLiteral("/releases/huge")).removeRecursively();
}

void slowLink(const QString &work, const Nginx &nginx)
{
    const qint64 rate = 48 * 1000;
    LatencyLink slow(portOf(nginx.slowTlsUrl()), 25, rate);
    const QString server = withPort(nginx.slowTlsUrl(), slow.port);
    publish(work, QStringLiteral("slow"), 60, 64 * 1000, server);
    bool ok = false;
    QElapsedTimer timer;
    timer.start();
    peakMiB(workerCommand(server, QStringLiteral("slow"), work + QStringLiteral("/worker-slow"), nginx.ca()), &ok);
    std::printf("(i) 60 files of 64 KB over a 48 KB/s link   the link's own time %.0f s   worker %.1f s, %s\n",
                60 * 64 * 1000.0 / rate, seconds(timer), ok ? "done" : "FAILED");
}

} // namespace

int main(int argc, char *argv[])
{
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("efghji");
    return bench::benchMain(argc, argv, [&only](const QString &work) {
        if (!QFile::exists(QStringLiteral("/usr/sbin/nginx"))) {
            std::printf("skipped: nginx-light is not installed\n");
            return;
        }
        Nginx nginx(work);
        LatencyLink link(portOf(nginx.tlsUrl()), 25);
        if (!nginx.running() || !link.port) {
            std::printf("skipped: nginx or the latency proxy did not start (see %s/error.log)\n", qPrintable(work));
            return;
        }
        const QString server = withPort(nginx.tlsUrl(), link.port);
        if (only.contains(QLatin1Char('e')) || only.contains(QLatin1Char('f')))
            smallFiles(work, nginx, server);
        if (only.contains(QLatin1Char('g')))
            largeFiles(work, nginx, server);
        if (only.contains(QLatin1Char('h')))
            loopback(work, nginx);
        if (only.contains(QLatin1Char('j')))
            hugeFile(work, nginx);
        if (only.contains(QLatin1Char('i')))
            slowLink(work, nginx);
    });
}
