#pragma once

// What the download benchmarks share: nginx serving the publisher's template, a link
// with latency, curl and the worker as child processes, and their peak memory.

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <functional>

namespace bench {

double seconds(const QElapsedTimer &timer);
void writeFile(const QString &path, qint64 size, QRandomGenerator &random);

// Peak resident memory of a child process, in MiB, and whether it ended with 0.
double peakMiB(const QStringList &command, bool *ok);

// nginx with tools/publish/nginx.conf on three listeners: http, and twice https with
// HTTP/2 and a certificate for 127.0.0.1 that ca() trusts; root/releases is the publish root.
class Nginx
{
public:
    explicit Nginx(const QString &root);
    ~Nginx();
    QString url() const;
    QString tlsUrl() const;
    QString slowTlsUrl() const;  // the same with a small send buffer
    QString ca() const;
    bool running();

private:
    QString root;
    int port;
    QProcess process;
};

// A link with a round trip of twice delayMs in front of a local port (latencyproxy.py),
// carrying at most bytesPerSecond towards the client when that is not 0.
class LatencyLink
{
public:
    LatencyLink(int targetPort, int delayMs, qint64 bytesPerSecond = 0);
    ~LatencyLink();
    int port = 0;

private:
    QProcess process;
};

int portOf(const QString &url);
QString withPort(const QString &url, int port);

// Publishes a release of count files of size bytes each below root/releases and
// returns the addresses of its files: the template's, or the static paths.
enum class Addresses { Template, Static };
QStringList publish(const QString &root, const QString &version, int count, qint64 size, const QString &server,
                    Addresses addresses = Addresses::Template);

// curl fetching urls into dir in one process, with extra options (-Z, --http2 ...).
double curlFetch(const QStringList &urls, const QString &dir, const QStringList &options = {},
                 const QString &ca = QString());

// The worker, as the updater runs it, in a child process: the benchmark started
// with --worker SERVER VERSION DIR [CA].
QStringList workerCommand(const QString &server, const QString &version, const QString &dir, const QString &ca = QString());
double workerFetch(const QString &server, const QString &version, const QString &dir, double *peak = nullptr,
                   const QString &ca = QString());
int runWorker(const QStringList &arguments);

// A benchmark's main: the worker's run when started with --worker, else body with the
// work folder (the first argument, or a temporary one).
int benchMain(int argc, char *argv[], const std::function<void(const QString &work)> &body);

} // namespace bench
