#include "peresources.h"
#include "refserver.h"
#include "replyguard.h"
#include "sandbox.h"
#include "updatestate.h"
#include "updatework.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

#include <unistd.h>

namespace {

QByteArray runTool(const QString &program, const QStringList &arguments, bool withErrors = false)
{
    QProcess p;
    if (withErrors)
        p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

} // namespace

// The updater against the services a publisher runs: refserver, and nginx with the
// template of tools/publish over http and over https, with one table of cases.
class TstServing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void update_data();
    void update();
    void templateServesOnlyThePublishRoot_data();
    void templateServesOnlyThePublishRoot();
    void debianSitePasses();
    void publishFailureLeavesRoot_data();
    void publishFailureLeavesRoot();

private:
    void makeCertificates();
    QString startNginx();
    int run(const QString &service, const QString &third, const QString &key, const DownloadLimits &limits);

    QScopedPointer<RefServer> refserver;
    QProcess nginx;
    QString work;
    int httpPort = 0, httpsPort = 0, wrongHostPort = 0;
    int number = 0;
};

void TstServing::makeCertificates()
{
    const QString openssl = QStringLiteral("openssl");
    runTool(openssl, {"req", "-x509", "-newkey", "ed25519", "-nodes", "-days", "2", "-subj", "/CN=Test CA", "-keyout",
                      work + "/ca.key", "-out", work + "/ca.pem"});
    for (const QString &host : {QStringLiteral("good"), QStringLiteral("other")}) {
        const QString san = host == QLatin1String("good") ? "subjectAltName=IP:127.0.0.1" : "subjectAltName=DNS:other.example";
        runTool(openssl, {"req", "-newkey", "ed25519", "-nodes", "-subj", "/CN=" + host, "-keyout", work + "/" + host + ".key",
                          "-out", work + "/" + host + ".csr"});
        sandbox::writeFile(work + "/" + host + ".ext", san.toUtf8() + "\n");
        runTool(openssl, {"x509", "-req", "-in", work + "/" + host + ".csr", "-CA", work + "/ca.pem", "-CAkey", work + "/ca.key",
                          "-CAcreateserial", "-days", "2", "-extfile", work + "/" + host + ".ext", "-out", work + "/" + host + ".pem"});
    }
}

QString TstServing::startNginx()
{
    httpPort = 30000 + QRandomGenerator::global()->bounded(20000);
    httpsPort = httpPort + 1;
    wrongHostPort = httpPort + 2;
    QString conf = QString::fromUtf8(fileBytes(QStringLiteral(PUBLISH_DIR "/nginx.conf")));
    // One server per listener: http, https with a certificate for 127.0.0.1, https for another host.
    const int start = conf.indexOf(QLatin1String("    server {")), end = conf.lastIndexOf(QLatin1Char('}'));
    const QString server = conf.mid(start, end - start);
    QString servers;
    for (const QString &listen : {QStringLiteral("127.0.0.1:%1").arg(httpPort), QStringLiteral("127.0.0.1:%1 ssl http2").arg(httpsPort),
                                  QStringLiteral("127.0.0.1:%1 ssl http2").arg(wrongHostPort)}) {
        const QString host = listen.contains(QLatin1String("ssl")) && listen.contains(QString::number(wrongHostPort)) ? "other" : "good";
        QString tls = listen.contains(QLatin1String("ssl"))
                          ? QStringLiteral("ssl_certificate %1/%2.pem; ssl_certificate_key %1/%2.key;").arg(work, host)
                          : QString();
        servers += QString(server).replace(QLatin1String("@LISTEN@"), listen).replace(QLatin1String("@TLS@"), tls)
                       .replace(QLatin1String("@ROOT@"), work + (listen.contains(QLatin1String("ssl")) ? "/https" : "/http"));
    }
    // HTTP/2 in front of refserver: a body refserver cuts off reaches the client as a
    // stream reset, its connection and the other streams going on.
    servers += QStringLiteral("    server {\n        listen 127.0.0.1:%1 ssl http2;\n"
                              "        ssl_certificate %2/good.pem; ssl_certificate_key %2/good.key;\n"
                              "        location / { proxy_pass %3; }\n    }\n")
                   .arg(httpPort + 3).arg(work, refserver->url());
    conf = conf.left(start) + servers + QStringLiteral("}\n");
    conf.replace(QLatin1String("@PREFIX@"), work);
    // A file with a ".gz" beside it is answered compressed, whatever the client asked for.
    conf.replace(QLatin1String("etag on;"), QLatin1String("etag on;\n    gzip_static always;"));
    // The test reads what nginx answered (a 206 for a resumed download).
    conf.replace(QLatin1String("access_log off;"), QStringLiteral("access_log %1/access.log;").arg(work));
    if (geteuid() == 0)
        conf.replace(QLatin1String("daemon off;"), QLatin1String("daemon off;\nuser root;"));
    QDir().mkpath(work + "/tmp");
    sandbox::writeFile(work + "/nginx.conf", conf.toUtf8());
    nginx.start(QStringLiteral("/usr/sbin/nginx"), {"-c", work + "/nginx.conf", "-p", work});
    nginx.waitForFinished(700);  // still running after this: listening
    return nginx.state() == QProcess::Running ? QString() : QString::fromUtf8(fileBytes(work + "/error.log"));
}

void TstServing::initTestCase()
{
    if (!QFile::exists(QStringLiteral("/usr/sbin/nginx")))
        QSKIP("nginx-light is not installed");
    work = QDir::tempPath() + QStringLiteral("/serving");
    QDir().mkpath(work);
    makeCertificates();
    refserver.reset(new RefServer(work + QStringLiteral("/refserver")));
    QVERIFY(refserver->isRunning());
    const QString failure = startNginx();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // The test's own trust, never the product's: the authority it made.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(QSslCertificate::fromPath(work + QStringLiteral("/ca.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
    sandbox::run(QStringLiteral(MKVERSION), {"--new-key", work + "/publisher"});
}

void TstServing::cleanupTestCase()
{
    nginx.terminate();
    nginx.waitForFinished();
}

void TstServing::update_data()
{
    QTest::addColumn<QString>("service");  // refserver, http, https, wrong-host
    QTest::addColumn<QString>("release");  // what is published
    QTest::addColumn<QString>("third");
    QTest::addColumn<int>("code");
    for (const char *service : {"refserver", "http", "https"}) {
        QTest::addRow("%s-special-names", service) << service << "special" << "" << 0;
        QTest::addRow("%s-signed", service) << service << "signed" << "" << 0;
        QTest::addRow("%s-per-edition", service) << service << "edition" << "OKARender" << 0;
        QTest::addRow("%s-unknown-version", service) << service << "none" << "" << -1;
        // Validly signed, but for another request: another version's files, another client's.
        QTest::addRow("%s-signed-other-version", service) << service << "replayed" << "" << -1;
        QTest::addRow("%s-signed-other-client", service) << service << "other-client" << "" << -1;
        // Half of the client is on disk from an attempt that was cut off.
        QTest::addRow("%s-resumed", service) << service << "resumed" << "" << 0;
    }
    // A server that compresses what was asked for as it is (over HTTP/1.1 and HTTP/2).
    for (const char *service : {"http", "https"}) {
        QTest::addRow("%s-compressed-file", service) << service << "gzip-file" << "" << -2;
        QTest::addRow("%s-compressed-version-file", service) << service << "gzip-list" << "" << -1;
    }
    QTest::newRow("https-certificate-for-another-host") << "wrong-host" << "special" << "" << -1;
    QTest::newRow("http2-stream-reset-mid-file") << "reset" << "cut" << "" << -2;
    // A budget so small that every look puts streams back to wait: each goes on from its part.
    QTest::newRow("http2-streams-put-back") << "https" << "many" << "" << 0;
    // Every core busy: a sound update must not fail under load.
    QTest::newRow("http-special-names-under-load") << "http-loaded" << "special" << "" << 0;
    QTest::newRow("https-signed-under-load") << "https-loaded" << "signed" << "" << 0;
}

int TstServing::run(const QString &service, const QString &third, const QString &key, const DownloadLimits &limits)
{
    sandbox::writeFile(sandbox::programDir() + QStringLiteral("/service.ini"),
                       "[server]\nupdate=" + service.toUtf8() + "\n; " + QByteArray(number % 7, '-') + "\n");
    QList<int> errors;
    bool done = false;
    QThread thread;
    auto *worker = new UpdateWork(UpdateRequest{targetVersion, oldDir, newDir, key, limits});
    worker->moveToThread(&thread);
    connect(worker, &UpdateWork::pro, this, [&](int p) { done = done || p == 100; });
    connect(worker, &UpdateWork::error, this, [&](int e) { errors << e; });
    thread.start();
    QMetaObject::invokeMethod(worker, "start", Q_ARG(bool, false), Q_ARG(QString, third));
    if (!QTest::qWaitFor([&] { return done || !errors.isEmpty(); }, 20000))
        errors << 0;  // neither an end nor a failure
    thread.quit();
    thread.wait();
    delete worker;
    return errors.isEmpty() ? (done ? 0 : 1) : errors.first();
}

void TstServing::update()
{
    QFETCH(QString, service);
    QFETCH(QString, release);
    QFETCH(QString, third);
    QFETCH(int, code);
    ++number;
    const auto stop = [](QProcess *p) {
        p->kill();
        p->waitForFinished();
        delete p;
    };
    std::vector<std::unique_ptr<QProcess, decltype(stop)>> burners;
    if (service.endsWith(QLatin1String("-loaded"))) {
        service.chop(7);
        for (int i = 0; i < QThread::idealThreadCount(); ++i) {
            burners.emplace_back(new QProcess, stop);
            burners.back()->start(QStringLiteral("sh"), {"-c", "while :; do :; done"});
        }
    }
    targetVersion = QStringLiteral("2.%1.0").arg(number);
    oldDir = work + QStringLiteral("/old");
    newDir = work + QStringLiteral("/new-%1").arg(number);
    const QString base = service == QLatin1String("reset")       ? QStringLiteral("https://127.0.0.1:%1").arg(httpPort + 3)
                         : service == QLatin1String("refserver") ? refserver->url()
                         : service == QLatin1String("http")    ? QStringLiteral("http://127.0.0.1:%1").arg(httpPort)
                         : service == QLatin1String("https")   ? QStringLiteral("https://127.0.0.1:%1").arg(httpsPort)
                                                               : QStringLiteral("https://127.0.0.1:%1").arg(wrongHostPort);
    const QString root = service == QLatin1String("refserver") || service == QLatin1String("reset") ? work + "/refserver" : service == QLatin1String("http") ? work + "/http" : work + "/https";
    const bool signedRelease = release.startsWith(QLatin1String("signed")) || release == QLatin1String("replayed")
                               || release == QLatin1String("other-client");
    const QString key = signedRelease ? QString::fromLatin1(fileBytes(work + "/publisher.pub").trimmed()) : QString();

    QMap<QString, QByteArray> files{{"client.exe", "client"}};
    if (release == QLatin1String("special") || release == QLatin1String("signed"))
        files = {{"bin/e f.dll", "blank"}, {QStringLiteral("渲染/云.dll"), "cjk"}, {"libstdc++-6.dll", "plus"},
                 {"a&b.dll", "amp"}, {"c#d.dll", "hash"}, {"50%.dll", "percent"}};
    if (release == QLatin1String("many")) {
        for (int i = 0; i < 24; ++i) {
            QByteArray bytes(200 * 1024, Qt::Uninitialized);
            QRandomGenerator(i).fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
            files.insert(QStringLiteral("d%1/f%2.bin").arg(i % 3).arg(i), bytes);
        }
    }
    const QString tree = work + QStringLiteral("/trees/%1").arg(number);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        sandbox::writeFile(tree + "/" + it.key(), it.value());
    sandbox::writeFile(tree + "-oka/oka.dll", "partner only");
    // A replayed release is another version's, put where this version's is asked for.
    const QString published = release == QLatin1String("replayed") ? QStringLiteral("1.%1.0").arg(number) : targetVersion;
    QStringList arguments{root, published, tree, "--prefix", base + "/stream/"};
    if (signedRelease)
        arguments << "--key" << work + "/publisher.key";
    if (release == QLatin1String("edition") || release == QLatin1String("other-client"))
        arguments << "--client" << "oka" << tree + "-oka";
    if (release != QLatin1String("none")) {
        QProcess publish;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MKVERSION"), QStringLiteral(MKVERSION));
        publish.setProcessEnvironment(env);
        publish.start(QStringLiteral(PUBLISH_DIR "/publish"), arguments);
        QVERIFY(publish.waitForFinished(30000));
        QVERIFY2(publish.exitCode() == 0, publish.readAllStandardError().constData());
    }
    const QString out = root + QLatin1Char('/') + targetVersion;
    if (release == QLatin1String("replayed"))
        QVERIFY(QDir().rename(root + QLatin1Char('/') + published, out));
    for (const char *suffix : {"", ".sig"}) {
        if (release == QLatin1String("other-client")) {
            QFile::remove(out + "/version.xml" + suffix);
            QVERIFY(QFile::copy(out + "/version-oka.xml" + suffix, out + "/version.xml" + suffix));
        }
    }

    if (release.startsWith(QLatin1String("gzip-")))
        runTool(QStringLiteral("gzip"), {"-k", release == QLatin1String("gzip-file") ? out + "/files/client.exe" : out + "/version.xml"});
    if (release == QLatin1String("resumed")) {
        // The part and what was learnt of it: the hash to end with and the server's ETag.
        const QByteArray etag = runTool(QStringLiteral("curl"), {"-s", "-I", "-k", "--cacert", work + "/ca.pem",
                                                                 base + "/s/getVersionStream.htm?version=" + targetVersion
                                                                     + "&path=files///client.exe", "-L"});
        const int at = etag.toLower().lastIndexOf("etag: ");
        sandbox::writeFile(newDir + "/client.exe.part", "cli");
        sandbox::writeFile(newDir + "/client.exe.part.meta", "sha1=" + QCryptographicHash::hash("client", QCryptographicHash::Sha1).toHex()
                                                                  + "\nvalidator=" + etag.mid(at + 6, etag.indexOf('\r', at) - at - 6) + "\n");
    }
    // Over TLS nginx offers HTTP/2, and the downloads share its one connection.
    if (service == QLatin1String("https") && code == 0)
        QTest::ignoreMessage(QtDebugMsg, "downloads over HTTP/2");
    if (release == QLatin1String("cut"))
        refserver->addFault(QStringLiteral("cut"), QStringLiteral("3"), QStringLiteral("client.exe"), 1);
    const int logged = fileBytes(work + "/access.log").size();
    DownloadLimits limits;
    limits.inactivityMs = 5000;
    if (release == QLatin1String("many"))
        limits.floor = SpeedFloor{1, 0};
    const int result = run(base, third, key, limits);
    QCOMPARE(result, code);
    refserver->clearFaults();
    // What nginx answered: each file itself (no redirect), over HTTP/2 where offered.
    const QByteArray answers = fileBytes(work + "/access.log").mid(logged);
    if (release == QLatin1String("resumed") && service != QLatin1String("refserver"))
        QVERIFY(answers.contains("\" 206 3 "));
    QVERIFY2(!answers.contains("\" 302 "), answers.constData());
    if (service == QLatin1String("https") && code == 0)
        QVERIFY2(!answers.contains("HTTP/1.1\""), answers.constData());
    if (release == QLatin1String("cut")) {
        // The file never takes its name; what came stays as a part to go on with.
        QVERIFY(!QFileInfo::exists(newDir + "/client.exe"));
        QVERIFY(QByteArray("client").startsWith(fileBytes(newDir + "/client.exe.part")));
        return;
    }
    if (code != 0) {
        QVERIFY(code == -2 || !QFileInfo::exists(newDir));
        QVERIFY(!QFileInfo::exists(newDir + "/client.exe"));
        return;
    }
    if (release == QLatin1String("edition"))
        files = {{"oka.dll", "partner only"}};
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QCOMPARE(fileBytes(newDir + "/" + it.key()), it.value());
}

void TstServing::templateServesOnlyThePublishRoot_data()
{
    QTest::addColumn<QString>("query");
    for (const char *page : {"getVersionFile", "getVersionSignature"}) {
        QTest::addRow("%s-dot-dot", page) << QStringLiteral("%1.htm?version=../staging/3.0.0").arg(page);
        QTest::addRow("%s-encoded", page) << QStringLiteral("%1.htm?version=..%2Fstaging%2F3.0.0").arg(page);
        QTest::addRow("%s-nul", page) << QStringLiteral("%1.htm?version=3.0.0%00").arg(page);
        QTest::addRow("%s-slash", page) << QStringLiteral("%1.htm?version=staging/3.0.0").arg(page);
        QTest::addRow("%s-client-climbs", page) << QStringLiteral("%1.htm?version=3.0.0&client=/../../staging/x").arg(page);
    }
    // A file's path is decoded before it is looked up: climbing is refused after decoding.
    const QString stream = QStringLiteral("getVersionStream.htm?version=3.0.0&path=");
    QTest::newRow("stream-climbs-out") << stream + "../../staging/3.0.0/version.xml";
    QTest::newRow("stream-climbs-within") << stream + "../staging/3.0.0/version.xml";
    QTest::newRow("stream-encoded-climb") << stream + "%2e%2e%2F%2e%2e%2Fstaging%2F3.0.0%2Fversion.xml";
    QTest::newRow("stream-nul") << stream + "version.xml%00.dll";
}

// Versions kept beside the publish root (staged, not yet published) stay unreachable.
void TstServing::templateServesOnlyThePublishRoot()
{
    QFETCH(QString, query);
    for (const QString &dir : {work + "/staging/3.0.0", work + "/http/staging/3.0.0", work + "/http/3.0.0"}) {
        sandbox::writeFile(dir + "/version.xml", "<update version=\"3.0.0\"/>");
        sandbox::writeFile(dir + "/version.xml.sig", "sig");
        sandbox::writeFile(dir + "/version-x.xml", "<update version=\"3.0.0\"/>");
    }
    const QByteArray status = runTool(QStringLiteral("curl"), {"-s", "-o", "/dev/null", "-w", "%{http_code}", "--path-as-is",
                                                               QStringLiteral("http://127.0.0.1:%1/%2").arg(httpPort).arg(query)});
    // nginx itself refuses a NUL with 400; nothing is served either way.
    QVERIFY2(status == "404" || status == "400", status.constData());
}

// The template as a site of Debian's own nginx: its nginx.conf (pid and logs moved into
// the sandbox) with only this site enabled passes nginx -t.
void TstServing::debianSitePasses()
{
    QFile debian(QStringLiteral("/etc/nginx/nginx.conf"));
    if (!debian.open(QIODevice::ReadOnly))
        QSKIP("Debian's nginx configuration is not installed");
    const QString dir = work + QStringLiteral("/debian");
    QString conf = QString::fromUtf8(debian.readAll());
    conf.replace(QStringLiteral("/etc/nginx/sites-enabled/"), dir + QStringLiteral("/sites-enabled/"))
        .replace(QStringLiteral("/run/nginx.pid"), dir + QStringLiteral("/nginx.pid"))
        .replace(QStringLiteral("/var/log/nginx/"), dir + QStringLiteral("/"));
    sandbox::writeFile(dir + QStringLiteral("/nginx.conf"), conf.toUtf8());
    QProcess site;
    site.setStandardOutputFile(dir + QStringLiteral("/sites-enabled/updates"));
    QDir().mkpath(dir + QStringLiteral("/sites-enabled"));
    site.start(QStringLiteral(PUBLISH_DIR "/nginx-site"), {work + QStringLiteral("/root"), QStringLiteral("127.0.0.1:1")});
    QVERIFY(site.waitForFinished(10000) && site.exitCode() == 0);
    const QByteArray result = runTool(QStringLiteral("nginx"), {"-t", "-c", dir + QStringLiteral("/nginx.conf")}, true);
    QVERIFY2(result.contains("test is successful"), result.constData());
}

void TstServing::publishFailureLeavesRoot_data()
{
    QTest::addColumn<QStringList>("extra");  // what makes the second publish fail
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("differing-shared-names") << QStringList{"--client", "oka", "oka"} << QByteArray("render.dll differs");
    QTest::newRow("key-missing") << QStringList{"--key", "no-such.key"} << QByteArray("cannot sign");
}

// A publish that fails leaves the root as it was: the release published before is served
// whole, nothing half made lies beside it.
void TstServing::publishFailureLeavesRoot()
{
    QFETCH(QStringList, extra);
    QFETCH(QByteArray, message);
    const QString tree = work + QStringLiteral("/conflict-") + QTest::currentDataTag();
    sandbox::writeFile(tree + "/general/render.dll", "general");
    sandbox::writeFile(tree + "/oka/render.dll", "partner");
    const auto publish = [&](const QStringList &more) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("MKVERSION"), QStringLiteral(MKVERSION));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(tree);
        process.start(QStringLiteral(PUBLISH_DIR "/publish"),
                      QStringList{tree + "/out", "4.0.0", tree + "/general", "--prefix", "http://x/"} + more);
        process.waitForFinished(30000);
        return std::make_pair(process.exitCode(), process.readAllStandardError());
    };
    QCOMPARE(publish({}).first, 0);
    const QStringList before = QDir(tree + "/out").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const QString served = QFileInfo(tree + "/out/4.0.0").symLinkTarget();
    sandbox::writeFile(tree + "/general/render.dll", "changed");
    const auto failed = publish(extra);
    QVERIFY(failed.first != 0);
    QVERIFY2(failed.second.contains(message), failed.second.constData());
    QCOMPARE(QDir(tree + "/out").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QCOMPARE(QFileInfo(tree + "/out/4.0.0").symLinkTarget(), served);
    QCOMPARE(fileBytes(tree + "/out/4.0.0/files/render.dll"), QByteArray("general"));
}

QTEST_GUILESS_MAIN(TstServing)
#include "tst_serving.moc"
