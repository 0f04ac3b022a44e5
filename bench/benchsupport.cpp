#include "benchsupport.h"

#include "updatework.h"
#include "versionfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace bench {

double seconds(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e9;
}

void writeFile(const QString &path, qint64 size, QRandomGenerator &random)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray chunk(int(qMin<qint64>(size, 1 << 20)), Qt::Uninitialized);
    for (qint64 left = size; left > 0; left -= chunk.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
        file.write(chunk.constData(), qMin<qint64>(left, chunk.size()));
    }
}

double peakMiB(const QStringList &command, bool *ok)
{
    QList<QByteArray> bytes;
    std::vector<char *> argv;
    for (const QString &part : command)
        bytes << part.toLocal8Bit();
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    *ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return usage.ru_maxrss / 1024.0;
}

Nginx::Nginx(const QString &root)
    : root(root)
    , port(20000 + QRandomGenerator::global()->bounded(20000))
{
    QProcess::execute(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2",
                       "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", root + "/tls.key",
                       "-out", ca()});
    QFile templateFile(QStringLiteral(PUBLISH_TEMPLATE));
    templateFile.open(QIODevice::ReadOnly);
    QString conf = QString::fromUtf8(templateFile.readAll());
    const int start = conf.indexOf(QLatin1String("    server {")), end = conf.lastIndexOf(QLatin1Char('}'));
    const QString server = conf.mid(start, end - start);
    const QString tls = QStringLiteral("ssl_certificate %1/tls.pem; ssl_certificate_key %1/tls.key;").arg(root);
    conf = conf.left(start)
           + QString(server).replace(QLatin1String("@LISTEN@"), QStringLiteral("127.0.0.1:%1").arg(port))
                 .replace(QLatin1String("@TLS@"), QString())
           + QString(server).replace(QLatin1String("@LISTEN@"), QStringLiteral("127.0.0.1:%1 ssl http2").arg(port + 1))
                 .replace(QLatin1String("@TLS@"), tls)
           // A small send buffer, as before a slow link: what the server has sent is what
           // the link carries, not megabytes queued on loopback.
           + QString(server).replace(QLatin1String("@LISTEN@"), QStringLiteral("127.0.0.1:%1 ssl http2 sndbuf=16k").arg(port + 2))
                 .replace(QLatin1String("@TLS@"), tls)
           + QStringLiteral("}\n");
    conf.replace(QLatin1String("@ROOT@"), root + QStringLiteral("/releases")).replace(QLatin1String("@PREFIX@"), root);
    if (geteuid() == 0)
        conf.replace(QLatin1String("daemon off;"), QLatin1String("daemon off;\nuser root;"));
    QDir().mkpath(root + QStringLiteral("/tmp"));
    QDir().mkpath(root + QStringLiteral("/releases"));
    QFile file(root + QStringLiteral("/nginx.conf"));
    file.open(QIODevice::WriteOnly);
    file.write(conf.toUtf8());
    file.close();
    process.start(QStringLiteral("/usr/sbin/nginx"), {QStringLiteral("-c"), file.fileName(), QStringLiteral("-p"), root});
    process.waitForStarted();
    // Running after half a second means it is listening (else it would have ended).
    process.waitForFinished(500);
}

Nginx::~Nginx()
{
    process.terminate();
    process.waitForFinished();
}

QString Nginx::url() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

QString Nginx::tlsUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(port + 1);
}

QString Nginx::slowTlsUrl() const
{
    return QStringLiteral("https://127.0.0.1:%1").arg(port + 2);
}

QString Nginx::ca() const
{
    return root + QStringLiteral("/tls.pem");
}

bool Nginx::running()
{
    return process.state() == QProcess::Running;
}

LatencyLink::LatencyLink(int targetPort, int delayMs, qint64 bytesPerSecond)
{
    process.start(QStringLiteral("python3"), {QStringLiteral(LATENCY_PROXY), QString::number(targetPort), QString::number(delayMs),
                                              QString::number(bytesPerSecond)});
    if (process.waitForReadyRead(5000))
        port = process.readLine().trimmed().toInt();
}

LatencyLink::~LatencyLink()
{
    process.kill();
    process.waitForFinished();
}

int portOf(const QString &url)
{
    return QUrl(url).port();
}

QString withPort(const QString &url, int port)
{
    QUrl u(url);
    u.setPort(port);
    return u.toString();
}

QStringList publish(const QString &root, const QString &version, int count, qint64 size, const QString &server,
                    Addresses addresses)
{
    QRandomGenerator random(count);
    QList<FileItem> items;
    QStringList urls;
    for (int i = 0; i < count; ++i) {
        const QString dir = QStringLiteral("/d%1/").arg(i % 20);
        const QString name = QStringLiteral("f%1.bin").arg(i);
        const QString path = root + QStringLiteral("/releases/") + version + QStringLiteral("/files") + dir + name;
        if (!QFileInfo::exists(path))
            writeFile(path, size, random);
        items.append({name, dir, UpdateWork::fileHash(path), QString(), size});
        urls << (addresses == Addresses::Static
                     ? server + QLatin1Char('/') + version + QStringLiteral("/files") + dir + name
                     : server + QStringLiteral("/stream/getVersionStream.htm?path=files/") + dir + QLatin1Char('/') + name
                           + QStringLiteral("&version=") + version);
    }
    QFile xml(root + QStringLiteral("/releases/") + version + QStringLiteral("/version.xml"));
    xml.open(QIODevice::WriteOnly);
    xml.write(writeVersionFile(version, server + QStringLiteral("/stream/"), {}, items));
    return urls;
}

double curlFetch(const QStringList &urls, const QString &dir, const QStringList &options, const QString &ca)
{
    QFile config(dir + QStringLiteral(".curl"));
    config.open(QIODevice::WriteOnly);
    for (int i = 0; i < urls.size(); ++i)
        config.write(QStringLiteral("url = \"%1\"\noutput = \"%2/%3\"\n").arg(urls[i], dir).arg(i).toUtf8());
    config.close();
    QDir().mkpath(dir);
    QElapsedTimer timer;
    timer.start();
    QStringList arguments = QStringList{QStringLiteral("-s"), QStringLiteral("--no-progress-meter"), QStringLiteral("-K"), config.fileName()} + options;
    if (!ca.isEmpty())
        arguments << QStringLiteral("--cacert") << ca;
    QProcess::execute(QStringLiteral("curl"), arguments);
    return seconds(timer);
}

QStringList workerCommand(const QString &server, const QString &version, const QString &dir, const QString &ca)
{
    QStringList command{QCoreApplication::applicationFilePath(), QStringLiteral("--worker"), server, version, dir};
    if (!ca.isEmpty())
        command << ca;
    return command;
}

double workerFetch(const QString &server, const QString &version, const QString &dir, double *peak, const QString &ca)
{
    QElapsedTimer timer;
    timer.start();
    bool ok = false;
    const double used = peakMiB(workerCommand(server, version, dir, ca), &ok);
    if (peak)
        *peak = used;
    if (!ok)
        std::printf("    (the worker failed)\n");
    return seconds(timer);
}

int runWorker(const QStringList &arguments)
{
    const QString server = arguments.value(0);
    UpdateRequest request;
    request.version = arguments.value(1);
    request.newDir = arguments.value(2);
    request.oldDir = request.newDir + QStringLiteral(".old");
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    if (arguments.size() > 3) {
        // The benchmark's own certificate, trusted by this process only.
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(QSslCertificate::fromPath(arguments.value(3)));
        QSslConfiguration::setDefaultConfiguration(tls);
    }
    // The worker finds its service in service.ini beside the program, here the benchmark.
    QFile service(QCoreApplication::applicationDirPath() + QStringLiteral("/service.ini"));
    service.open(QIODevice::WriteOnly | QIODevice::Truncate);
    service.write("[server]\nupdate=" + server.toUtf8() + "/cn\n");
    service.close();
    QThread thread;
    auto *worker = new UpdateWork(request);
    worker->moveToThread(&thread);
    int result = 1;
    QObject::connect(worker, &UpdateWork::pro, qApp, [&](int p) {
        if (p == 100) {
            result = 0;
            qApp->quit();
        }
    });
    QObject::connect(worker, &UpdateWork::error, qApp, [&](int) { qApp->quit(); });
    thread.start();
    QMetaObject::invokeMethod(worker, "start", Q_ARG(bool, false), Q_ARG(QString, QString()));
    qApp->exec();
    thread.quit();
    thread.wait();
    delete worker;
    return result;
}

int benchMain(int argc, char *argv[], const std::function<void(const QString &work)> &body)
{
    QCoreApplication app(argc, argv);
    if (argc >= 5 && QByteArray(argv[1]) == "--worker")
        return runWorker(app.arguments().mid(2));
    QTemporaryDir temporary;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    QDir().mkpath(work);
    body(work);
    return 0;
}

} // namespace bench
