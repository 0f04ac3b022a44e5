#include "downloadqueue.h"
#include "peresources.h"
#include "refserver.h"
#include "replyguard.h"
#include "sandbox.h"
#include "updatestate.h"
#include "updatework.h"
#include "versionfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonObject>
#include <QThread>
#include <QUrl>
#include <QtTest>

namespace {

QString sha1(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

struct Outcome
{
    QList<int> progress;
    QList<int> errors;
    QStringList notes;
};

using Files = QMap<QString, QByteArray>;  // relative path -> content

} // namespace

// The worker on a thread of its own against the reference service on loopback.
class TstUpdateWork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void fullRunReusesAndDownloads();
    void failures_data();
    void failures();
    void joinsPathAndName();
    void uppercaseHashIsNeverReused();
    void withoutPrefix_data();
    void withoutPrefix();
    void everyNoteReported();
    void clientParameterPerEdition_data();
    void clientParameterPerEdition();
    void stalledServerTimesOut_data();
    void stalledServerTimesOut();
    void retryResumes_data();
    void retryResumes();
    void retryReplacesAndReportsFailedCopy();
    void boundedBodies_data();
    void boundedBodies();
    void hostileInput_data();
    void hostileInput();
    void signedReleases_data();
    void signedReleases();
    void keysVerifyWithOpenssl();

private:
    Outcome run(bool isEn = false, const QString &third = QString());
    // The worker's bounds and key, built anew for each case.
    DownloadLimits limits;
    QString builtInKey;
    void publish(const Files &files, const QString &prefix = QStringLiteral("{server}/stream/"),
                 const QStringList &notes = {});
    void publishXml(const QByteArray &xml);
    void install(const Files &files);
    QStringList downloadsRequested();

    QScopedPointer<RefServer> server;
    QString releases;
    int versionNumber = 0;
};

void TstUpdateWork::initTestCase()
{
    releases = QDir::tempPath() + QStringLiteral("/releases");
    QDir().mkpath(releases);
    server.reset(new RefServer(releases));
    QVERIFY(server->isRunning());
    sandbox::writeFile(sandbox::programDir() + QStringLiteral("/service.ini"),
                       "[server]\nupdate=" + server->url().toUtf8() + "/cn\nupdateEN=" + server->url().toUtf8() + "/en\n");
}

// Each case installs and publishes a version of its own.
void TstUpdateWork::init()
{
    ++versionNumber;
    // Short, for the stalled rows; long enough for a service on a busy machine.
    limits = DownloadLimits();
    limits.inactivityMs = 2500;
    builtInKey.clear();
    targetVersion = QStringLiteral("2.%1.0").arg(versionNumber);
    const QString product = QDir::tempPath() + QStringLiteral("/product%1").arg(versionNumber);
    oldDir = product + QStringLiteral("/2.0.0.11111");
    newDir = product + QLatin1Char('/') + targetVersion + QStringLiteral(".22222");
    QDir().mkpath(oldDir);
    server->clearFaults();
}

void TstUpdateWork::publish(const Files &files, const QString &prefix, const QStringList &notes)
{
    const QString tree = releases + QLatin1Char('/') + targetVersion + QStringLiteral("/files");
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        sandbox::writeFile(tree + QLatin1Char('/') + it.key(), it.value());
    QStringList arguments{QStringLiteral("--version"), targetVersion, QStringLiteral("--prefix"), prefix,
                          QStringLiteral("-o"), releases + QLatin1Char('/') + targetVersion + QStringLiteral("/version.xml"),
                          tree};
    for (const QString &note : notes)
        arguments << QStringLiteral("--note") << note;
    QCOMPARE(sandbox::run(QStringLiteral(MKVERSION), arguments).exitCode, 0);
}

void TstUpdateWork::publishXml(const QByteArray &xml)
{
    sandbox::writeFile(releases + QLatin1Char('/') + targetVersion + QStringLiteral("/version.xml"), xml);
}

void TstUpdateWork::install(const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        sandbox::writeFile(oldDir + QLatin1Char('/') + it.key(), it.value());
}

Outcome TstUpdateWork::run(bool isEn, const QString &third)
{
    Outcome outcome;
    QThread thread;
    auto *worker = new UpdateWork(UpdateRequest{targetVersion, oldDir, newDir, builtInKey, limits});
    worker->moveToThread(&thread);
    connect(worker, &UpdateWork::pro, this, [&](int p) { outcome.progress << p; });
    connect(worker, &UpdateWork::error, this, [&](int e) { outcome.errors << e; });
    connect(worker, &UpdateWork::content, this, [&](const QString &n) { outcome.notes << n; });
    thread.start();
    QMetaObject::invokeMethod(worker, "start", Q_ARG(bool, isEn), Q_ARG(QString, third));
    if (!QTest::qWaitFor([&] { return !outcome.errors.isEmpty() || outcome.progress.contains(100); }, 20000))
        outcome.errors << 0;  // neither an end nor a failure: no such code exists
    thread.quit();
    thread.wait();
    delete worker;
    QCoreApplication::sendPostedEvents();
    return outcome;
}

QStringList TstUpdateWork::downloadsRequested()
{
    QStringList paths;
    for (const QJsonValue &r : server->requests()) {
        const QJsonObject request = r.toObject();
        if (request.value("path").toString().endsWith(QLatin1String("getVersionStream.htm"))
            && request.value("query").toObject().value("version").toString() == targetVersion)
            paths << request.value("query").toObject().value("path").toString();
    }
    return paths;
}

void TstUpdateWork::fullRunReusesAndDownloads()
{
    const Files release{{"client.exe", "new client"}, {"same.dll", "unchanged"}, {"bin/plugin.dll", "plugin v2"},
                        {"bin/deep/data.bin", QByteArray(300000, 'd')}, {"empty.txt", ""}};
    install({{"client.exe", "old client"}, {"same.dll", "unchanged"}, {"bin/deep/data.bin", QByteArray(300000, 'd')}});
    publish(release, QStringLiteral("{server}/stream/"), {QStringLiteral("修复了渲染问题")});

    const Outcome o = run();
    QCOMPARE(o.errors, QList<int>());
    QCOMPARE(o.progress, (QList<int>{10, 20, 30, 40, 70, 100}));
    QCOMPARE(o.notes, QStringList{QStringLiteral("修复了渲染问题")});
    for (auto it = release.cbegin(); it != release.cend(); ++it)
        QCOMPARE(fileBytes(newDir + QLatin1Char('/') + it.key()), it.value());
    QStringList requested = downloadsRequested();
    requested.sort();  // several are in flight at once
    QCOMPARE(requested, (QStringList{"files///client.exe", "files///empty.txt", "files//bin//plugin.dll"}));
}

void TstUpdateWork::failures_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QList<int>>("progress");
    QTest::addColumn<int>("code");

    const QList<int> none, beforeFiles{10}, listed{10, 20}, downloading{10, 20, 30, 40};
    QTest::newRow("version-file-missing") << "unpublished" << none << -1;
    QTest::newRow("version-file-http-error") << "version-status" << none << -1;
    QTest::newRow("not-xml") << "not-xml" << beforeFiles << -1;
    QTest::newRow("no-files-entries") << "no-files" << listed << -1;
    QTest::newRow("path-climbs") << "path:/../../" << beforeFiles << -1;
    QTest::newRow("name-climbs") << "name:../evil.dll" << beforeFiles << -1;
    QTest::newRow("path-with-drive") << "path:C:/Windows/" << beforeFiles << -1;
    QTest::newRow("name-absolute") << "name:/etc/evil" << beforeFiles << -1;
    // Its part would be made beside the new version's folder, outside it.
    QTest::newRow("name-is-the-folder") << "name:." << beforeFiles << -1;
    QTest::newRow("name-ends-in-the-folder") << "name:bin/." << beforeFiles << -1;
    QTest::newRow("path-to-sibling") << "path:bin/" << beforeFiles << -1;
    QTest::newRow("file-missing-on-server") << "file-missing" << downloading << -2;
    QTest::newRow("file-http-error") << "file-status" << downloading << -2;
    QTest::newRow("hash-mismatch") << "wrong-hash" << downloading << -2;
    QTest::newRow("truncated-body") << "truncate" << downloading << -2;
    QTest::newRow("altered-body") << "alter" << downloading << -2;
    QTest::newRow("unwritable-target") << "unwritable" << downloading << -2;
}

void TstUpdateWork::failures()
{
    QFETCH(QString, cause);
    QFETCH(QList<int>, progress);
    QFETCH(int, code);

    const Files release{{"a.txt", "aaaa"}, {"bin/b.dll", "bbbb"}};
    if (cause != QLatin1String("unpublished"))
        publish(release);
    if (cause == QLatin1String("version-status"))
        server->addFault(QStringLiteral("status"), QStringLiteral("503"), QStringLiteral("getVersionFile"));
    if (cause == QLatin1String("not-xml"))
        publishXml("<update><files><file name=\"a.txt\"</files>");
    if (cause == QLatin1String("no-files"))
        publishXml("<update version=\"x\"><files/><prefix>{server}/stream/</prefix><regs><reg name=\"r\"/></regs>"
                   "<note>n</note></update>");
    if (cause.startsWith(QLatin1String("path:")) || cause.startsWith(QLatin1String("name:"))) {
        const QString value = cause.mid(5);
        const bool path = cause.startsWith(QLatin1String("path:"));
        publishXml(writeVersionFile(targetVersion, QStringLiteral("{server}/stream/"), {},
                                    {{"a.txt", "/", sha1("aaaa"), {}},
                                     {path ? QStringLiteral("evil.dll") : value, path ? value : QStringLiteral("/"),
                                      sha1("x"), {}}}));
    }
    if (cause == QLatin1String("file-missing"))
        QFile::remove(releases + QLatin1Char('/') + targetVersion + QStringLiteral("/files/bin/b.dll"));
    if (cause == QLatin1String("file-status"))
        server->addFault(QStringLiteral("status"), QStringLiteral("500"), QStringLiteral("b.dll"));
    if (cause == QLatin1String("wrong-hash"))
        sandbox::writeFile(releases + QLatin1Char('/') + targetVersion + QStringLiteral("/files/bin/b.dll"), "changed");
    if (cause == QLatin1String("truncate") || cause == QLatin1String("alter"))
        server->addFault(cause, QString(), QStringLiteral("b.dll"));
    if (cause == QLatin1String("unwritable"))
        sandbox::writeFile(newDir + QStringLiteral("/bin"), "a file where the folder goes");

    const Outcome o = run();
    QCOMPARE(o.progress, progress);
    QCOMPARE(o.errors, QList<int>{code});
    if (code == -1)
        QVERIFY(!QFileInfo::exists(newDir));
    // A wrong download never stays; a cut one stays only as a part to go on with.
    QVERIFY(!QFileInfo(newDir + QStringLiteral("/bin/b.dll")).isFile());
    const QStringList kept = cause == QLatin1String("truncate") ? QStringList{"b.dll.part", "b.dll.part.meta"} : QStringList();
    QCOMPARE(QDir(newDir + QStringLiteral("/bin")).entryList(QDir::Files | QDir::Hidden, QDir::Name), kept);
    QVERIFY(!QFileInfo::exists(QDir::tempPath() + QStringLiteral("/evil.dll")));
    QVERIFY(!QFileInfo::exists(newDir + QStringLiteral(".part")));
}

void TstUpdateWork::joinsPathAndName()
{
    // Installed path: oldDir + path + name; target and request: path + "/" + name.
    install({{"bin/x.dll", "x"}, {"top.txt", "t"}});
    publishXml(writeVersionFile(targetVersion, QStringLiteral("{server}/stream/"), {},
                                {{"x.dll", "/bin/", sha1("x"), {}},
                                 {"top.txt", "/", sha1("t"), {}},
                                 {"y.dll", "/bin", sha1("y"), {}}}));
    sandbox::writeFile(releases + QLatin1Char('/') + targetVersion + QStringLiteral("/files/bin/y.dll"), "y");

    const Outcome o = run();
    QCOMPARE(o.errors, QList<int>());
    QCOMPARE(fileBytes(newDir + QStringLiteral("/bin/x.dll")), QByteArray("x"));
    QCOMPARE(fileBytes(newDir + QStringLiteral("/top.txt")), QByteArray("t"));
    QCOMPARE(fileBytes(newDir + QStringLiteral("/bin/y.dll")), QByteArray("y"));
    // "/bin" + "y.dll" names no installed file, so y.dll was fetched as "files//bin/y.dll".
    QCOMPARE(downloadsRequested(), QStringList{"files//bin/y.dll"});
}

void TstUpdateWork::uppercaseHashIsNeverReused()
{
    install({{"a.txt", "aaaa"}});
    publishXml(writeVersionFile(targetVersion, QStringLiteral("{server}/stream/"), {},
                                {{"a.txt", "/", sha1("aaaa").toUpper(), {}}}));
    sandbox::writeFile(releases + QLatin1Char('/') + targetVersion + QStringLiteral("/files/a.txt"), "aaaa");
    const Outcome o = run();
    QCOMPARE(downloadsRequested(), QStringList{"files///a.txt"});
    QCOMPARE(o.errors, QList<int>{-2});
}

void TstUpdateWork::withoutPrefix_data()
{
    QTest::addColumn<bool>("allInstalled");
    QTest::addColumn<QList<int>>("errors");
    QTest::newRow("all-reusable") << true << QList<int>();
    QTest::newRow("one-to-download") << false << QList<int>{-2};
}

void TstUpdateWork::withoutPrefix()
{
    QFETCH(bool, allInstalled);
    QFETCH(QList<int>, errors);
    install(allInstalled ? Files{{"a.txt", "a"}, {"b.txt", "b"}} : Files{{"a.txt", "a"}});
    publishXml(writeVersionFile(targetVersion, QString(), {}, {{"a.txt", "/", sha1("a"), {}}, {"b.txt", "/", sha1("b"), {}}})
                   .replace("<prefix></prefix>", "").replace("<prefix/>", ""));
    QCOMPARE(run().errors, errors);
}

void TstUpdateWork::everyNoteReported()
{
    install({{"a.txt", "a"}});
    publishXml("<x version=\"9\"><note>first</note><files><f name=\"a.txt\" path=\"/\" hashCode=\"" + sha1("a").toLatin1()
               + "\"/></files><note>第二</note><unknown/><Files/></x>");
    const Outcome o = run();
    QCOMPARE(o.notes, (QStringList{"first", QStringLiteral("第二")}));
    QCOMPARE(o.errors, QList<int>());
}

void TstUpdateWork::clientParameterPerEdition_data()
{
    QTest::addColumn<bool>("isEn");
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("client");

    QTest::newRow("standard") << false << "" << "/cn/getVersionFile.htm" << "<none>";
    QTest::newRow("partner") << false << "OKARender" << "/cn/getVersionFile.htm" << "oka";
    QTest::newRow("co-branded-english") << true << "KWRender" << "/en/getVersionFile.htm" << "u3d";
    QTest::newRow("other-partner") << true << "ZZRender" << "/en/getVersionFile.htm" << "<none>";
    QTest::newRow("lower-case") << false << "okarender" << "/cn/getVersionFile.htm" << "<none>";
}

void TstUpdateWork::clientParameterPerEdition()
{
    QFETCH(bool, isEn);
    QFETCH(QString, third);
    QFETCH(QString, path);
    QFETCH(QString, client);
    install({{"a.txt", "a"}});
    publish({{"a.txt", "a"}});
    QCOMPARE(run(isEn, third).errors, QList<int>());
    const QJsonObject request = server->requests().last().toObject();
    QCOMPARE(request.value("path").toString(), path);
    QCOMPARE(request.value("query").toObject().value("version").toString(), targetVersion);
    QCOMPARE(request.value("query").toObject().value("client").toString(QStringLiteral("<none>")), client);
}

void TstUpdateWork::stalledServerTimesOut_data()
{
    QTest::addColumn<QString>("match");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("code");
    QTest::newRow("version-file-stalls") << "getVersionFile" << "stall" << -1;
    QTest::newRow("version-file-silent") << "getVersionFile" << "silent" << -1;
    QTest::newRow("download-stalls") << "b.dll" << "stall" << -2;
}

void TstUpdateWork::stalledServerTimesOut()
{
    QFETCH(QString, match);
    QFETCH(QString, kind);
    QFETCH(int, code);
    publish({{"a.txt", "aaaa"}, {"bin/b.dll", "bbbb"}});
    server->addFault(kind, QString(), match);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(run().errors, QList<int>{code});
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!QFileInfo::exists(newDir + QStringLiteral("/bin/b.dll")));
}

void TstUpdateWork::retryResumes_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("error-status") << "status";
    QTest::newRow("wrong-hash") << "alter";
    QTest::newRow("stall") << "stall";
}

// One of many files in flight fails: -2, the others are aborted, and the retry fetches
// only what is missing (parts from where they end) and leaves no part behind.
void TstUpdateWork::retryResumes()
{
    QFETCH(QString, fault);
    const QStringList names{"a.txt", "bin/b.dll", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt", "h.txt"};
    Files release;
    for (const QString &name : names)
        release.insert(name, name.toUtf8());
    publish(release);
    server->addFault(fault, fault == QLatin1String("status") ? QStringLiteral("500") : QString(), QStringLiteral("c.txt"));
    const Outcome failed = run();
    QCOMPARE(failed.errors, QList<int>{-2});
    QCOMPARE(failed.progress, (QList<int>{10, 20, 30, 40}));
    QStringList missing;
    for (const QString &name : names) {
        // A part that came whole but was cut off before its name needs no request.
        const QFileInfo part(newDir + QLatin1Char('/') + name + QStringLiteral(".part"));
        if (!QFileInfo::exists(newDir + QLatin1Char('/') + name) && !(part.exists() && part.size() == name.size()))
            missing << QStringLiteral("files/%1/%2").arg(name.contains('/') ? "/bin/" : "/", name.section('/', -1));
    }
    const int before = downloadsRequested().size();

    server->clearFaults();
    QCOMPARE(run().errors, QList<int>());
    // Only what the first attempt did not leave whole was fetched again.
    QStringList again = downloadsRequested().mid(before);
    again.sort();
    missing.sort();
    QCOMPARE(again, missing);
    for (const QString &name : names)
        QCOMPARE(fileBytes(newDir + QLatin1Char('/') + name), name.toUtf8());
    QCOMPARE(QDir(newDir).entryList({QStringLiteral("*.part*")}, QDir::Files | QDir::Hidden), QStringList());
}

void TstUpdateWork::retryReplacesAndReportsFailedCopy()
{
    install({{"a.txt", "aaaa"}, {"sub/b.txt", "bbbb"}});
    publish({{"a.txt", "aaaa"}, {"sub/b.txt", "bbbb"}});
    // An earlier attempt left a wrong a.txt; a reusable installed copy replaces it.
    sandbox::writeFile(newDir + QStringLiteral("/a.txt"), "stale");
    // ... but where a file stands in the way of sub/, the copy fails and says so.
    sandbox::writeFile(newDir + QStringLiteral("/sub"), "in the way");
    const Outcome o = run();
    QCOMPARE(fileBytes(newDir + QStringLiteral("/a.txt")), QByteArray("aaaa"));
    QCOMPARE(o.errors, QList<int>{-2});
    QCOMPARE(o.progress, (QList<int>{10, 20, 30, 40}));
    QVERIFY(downloadsRequested().isEmpty());
}

void TstUpdateWork::boundedBodies_data()
{
    QTest::addColumn<qint64>("published");  // b.dll's published size; -1: none
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("code");
    QTest::newRow("published-size") << qint64(4) << "" << 0;
    QTest::newRow("endless-past-published-size") << qint64(4) << "endless" << -2;
    QTest::newRow("longer-than-published") << qint64(2) << "" << -2;
    QTest::newRow("shorter-than-published") << qint64(10) << "" << -2;
    QTest::newRow("endless-past-the-cap") << qint64(-1) << "endless" << -2;
    QTest::newRow("endless-into-the-reserve") << qint64(-1) << "endless-reserve" << -2;
    // Asked for as it is, a compressed body is refused before Qt would inflate it (a bomb
    // would fill the memory), even one that would inflate to the right bytes.
    for (const char *encoding : {"gzip", "deflate", "br"}) {
        QTest::addRow("%s-file", encoding) << qint64(4) << QStringLiteral("encoding:%1@b.dll").arg(encoding) << -2;
        QTest::addRow("%s-version-file", encoding) << qint64(4)
                                                   << QStringLiteral("encoding:%1@getVersionFile").arg(encoding) << -1;
    }
    // Redirects are followed by the worker itself, a few and never to a weaker scheme; one
    // not followed fails, whatever body came with it.
    const QString self = QStringLiteral("getVersionStream.htm?path=files///b.dll&version={version}");
    QTest::newRow("redirect-followed") << qint64(4) << QStringLiteral("redirect:{stream}/") + self << 0;
    QTest::newRow("redirect-relative") << qint64(4) << QStringLiteral("redirect:") + self << 0;
    QTest::newRow("redirect-scheme-relative") << qint64(4) << QStringLiteral("redirect://{host}/stream/") + self << 0;
    QTest::newRow("redirect-loop") << qint64(4) << QStringLiteral("redirect:{stream}/") + self + QStringLiteral("&again") << -2;
    QTest::newRow("redirect-to-file") << qint64(4) << "redirect:file:///etc/hostname" << -2;
    QTest::newRow("version-file-redirect-relative") << qint64(4) << "redirect:getVersionFile.htm?version={version}&r@getVersionFile" << 0;
    QTest::newRow("version-file-redirect-scheme-relative") << qint64(4) << "redirect://{host}/cn/getVersionFile.htm?version={version}&r@getVersionFile" << 0;
    QTest::newRow("version-file-redirect-loop") << qint64(4) << "redirect:getVersionFile.htm?version={version}@getVersionFile&again" << -1;
    QTest::newRow("version-file-redirect-to-ftp") << qint64(4) << "redirect:ftp://{host}/v.xml@getVersionFile" << -1;
}

// A body ends where the version file, its Content-Length, the cap or the disk's reserve
// says, and nothing of it is left.
void TstUpdateWork::boundedBodies()
{
    QFETCH(qint64, published);
    QFETCH(QString, fault);
    QFETCH(int, code);
    publish({{"a.txt", "aaaa"}, {"b.dll", "bbbb"}});
    publishXml(writeVersionFile(targetVersion, QStringLiteral("{server}/stream/"), {},
                                {{"a.txt", "/", sha1("aaaa"), {}, 4}, {"b.dll", "/", sha1("bbbb"), {}, published}}));
    if (fault.startsWith(QLatin1String("endless")))
        server->addFault(QStringLiteral("endless"), QString(), QStringLiteral("b.dll"));
    if (fault.startsWith(QLatin1String("encoding:")) || fault.startsWith(QLatin1String("redirect:"))) {
        // KIND:ARG[@MATCH], b.dll by default; a redirect points once, a loop keeps pointing.
        const QString kind = fault.section(QLatin1Char(':'), 0, 0);
        QString arg = fault.mid(kind.size() + 1);
        const bool again = arg.endsWith(QLatin1String("&again"));
        const int at = arg.lastIndexOf(QLatin1Char('@'));
        const QString match = at < 0 ? QStringLiteral("b.dll") : arg.mid(at + 1).remove(QLatin1String("&again"));
        arg = arg.left(at < 0 ? arg.size() : at)
                  .replace(QLatin1String("{stream}"), server->url() + QStringLiteral("/stream"))
                  .replace(QLatin1String("{host}"), QUrl(server->url()).authority())
                  .replace(QLatin1String("{version}"), targetVersion);
        server->addFault(kind, arg, match, again || kind == QLatin1String("encoding") ? -1 : 1);
    }
    if (fault == QLatin1String("endless"))
        limits.maxUnpublishedBytes = 1024 * 1024;
    if (fault == QLatin1String("endless-reserve"))
        limits.reserveBytes = std::numeric_limits<qint64>::max();
    const Outcome o = run();
    QCOMPARE(o.errors.value(0), code);
    // Nothing of the bounded body stays (another file cut off beside it may, to go on with).
    QCOMPARE(QDir(newDir).entryList({QStringLiteral("b.dll.part*")}, QDir::Files), QStringList());
    if (code == 0)
        QCOMPARE(fileBytes(newDir + QStringLiteral("/b.dll")), QByteArray("bbbb"));
}

void TstUpdateWork::hostileInput_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("code");  // 0: the run succeeds

    QTest::newRow("deep-xml") << "deep" << -1;
    QTest::newRow("endless-version-file") << "endless" << -1;
    QTest::newRow("trickling-version-file") << "trickle" << -1;
    QTest::newRow("prefix-file-scheme") << "prefix:file:///etc/hostname#" << -1;
    QTest::newRow("prefix-ftp") << "prefix:ftp://127.0.0.1/" << -1;
    QTest::newRow("name-with-nul") << "xml-name:x.dll&#0;.txt" << -1;
    QTest::newRow("name-with-tab") << "xml-name:x.dll&#9;.txt" << -1;
    QTest::newRow("device-name") << "xml-name:CON.dll" << -1;
    QTest::newRow("device-name-lower-case") << "xml-name:aux" << -1;
    QTest::newRow("trailing-dot") << "xml-name:a.dll." << -1;
    QTest::newRow("empty-path") << "xml-path:" << -1;
    QTest::newRow("one-name-two-hashes") << "duplicate" << -1;
    QTest::newRow("link-at-file") << "link-file" << -2;
    QTest::newRow("link-at-folder") << "link-folder" << -2;
    QTest::newRow("backslash-paths") << "backslash" << 0;
    QTest::newRow("special-characters") << "special" << 0;
}

// Input from a hostile service or a hostile local user ends in the usual failure, with
// nothing written outside newDir; what is sound arrives whole where it belongs.
void TstUpdateWork::hostileInput()
{
    QFETCH(QString, cause);
    QFETCH(int, code);

    const QString outside = QDir::tempPath() + QStringLiteral("/outside%1").arg(versionNumber);
    sandbox::writeFile(outside + QStringLiteral("/victim.dll"), "victim");
    Files release{{"a.txt", "aaaa"}, {"bin/b.dll", "bbbb"}};
    if (cause == QLatin1String("special"))
        release = {{"libstdc++-6.dll", "p"}, {"a&b.dll", "q"}, {"c#d.dll", "r"}, {"50%.dll", "s"}, {"e f/g=h.dll", "t"}};
    publish(release);
    const QString entry = QStringLiteral("<file name=\"%1\" path=\"%2\" hashCode=\"") + sha1("x") + QStringLiteral("\"/>");
    auto publishEntry = [&](const QString &name, const QString &path) {
        publishXml(("<update version=\"v\"><prefix>{server}/stream/</prefix><files>" + entry.arg(name, path) + "</files></update>").toUtf8());
    };
    if (cause == QLatin1String("deep"))
        publishXml("<update>" + QByteArray("<a>").repeated(25000) + QByteArray("</a>").repeated(25000) + "</update>");
    if (cause == QLatin1String("endless"))
        server->addFault(QStringLiteral("endless"), QString(), QStringLiteral("getVersionFile"));
    if (cause == QLatin1String("trickle")) {
        limits.floor = SpeedFloor{300, 1000};
        server->addFault(QStringLiteral("slow"), QStringLiteral("400"), QStringLiteral("getVersionFile"));
    }
    if (cause.startsWith(QLatin1String("prefix:")))
        publishXml(writeVersionFile(targetVersion, cause.mid(7), {}, {{"a.txt", "/", sha1("aaaa"), {}}}));
    if (cause.startsWith(QLatin1String("xml-name:")))
        publishEntry(cause.mid(9), QStringLiteral("/"));
    if (cause.startsWith(QLatin1String("xml-path:")))
        publishEntry(QStringLiteral("a.txt"), cause.mid(9));
    if (cause == QLatin1String("duplicate"))
        publishXml(writeVersionFile(targetVersion, QStringLiteral("{server}/stream/"), {},
                                    {{"a.txt", "/", sha1("aaaa"), {}}, {"a.txt", "\\", sha1("other"), {}}}));
    if (cause == QLatin1String("link-file")) {
        QDir().mkpath(newDir + QStringLiteral("/bin"));
        QVERIFY(QFile::link(outside + QStringLiteral("/victim.dll"), newDir + QStringLiteral("/bin/b.dll")));
    }
    if (cause == QLatin1String("link-folder")) {
        QDir().mkpath(newDir);
        QVERIFY(QFile::link(outside, newDir + QStringLiteral("/bin")));
    }
    if (cause == QLatin1String("backslash"))
        publishXml(writeVersionFile(targetVersion, QStringLiteral("{server}/stream/"), {},
                                    {{"a.txt", "\\", sha1("aaaa"), {}}, {"b.dll", "\\bin\\", sha1("bbbb"), {}}}));

    const Outcome o = run();
    QCOMPARE(o.errors, code ? QList<int>{code} : QList<int>());
    QCOMPARE(QDir(outside).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"victim.dll"});
    QCOMPARE(fileBytes(outside + QStringLiteral("/victim.dll")), QByteArray("victim"));
    QStringList product{QStringLiteral("2.0.0.11111")};
    if (QFileInfo::exists(newDir))
        product.append(QFileInfo(newDir).fileName());
    QCOMPARE(QDir(QFileInfo(newDir).absolutePath()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), product);
    if (code == 0) {
        for (auto it = release.cbegin(); it != release.cend(); ++it)
            QCOMPARE(fileBytes(newDir + QLatin1Char('/') + it.key()), it.value());
    }
}

namespace {

// A key pair made by mkversion in dir; returns the public key.
QString newKey(const QString &dir, const QString &name)
{
    QDir().mkpath(dir);
    sandbox::run(QStringLiteral(MKVERSION), {QStringLiteral("--new-key"), dir + QLatin1Char('/') + name});
    return QString::fromLatin1(fileBytes(dir + QLatin1Char('/') + name + QStringLiteral(".pub")).trimmed());
}

} // namespace

void TstUpdateWork::signedReleases_data()
{
    QTest::addColumn<QString>("compiled");    // key built in: "a", "b" or none
    QTest::addColumn<QString>("machine");     // key the installer pinned in the machine's registry
    QTest::addColumn<QString>("serviceIni");  // key in the open folder's service.ini
    QTest::addColumn<QString>("signature");   // how the release is signed
    QTest::addColumn<int>("code");
    QTest::newRow("signed-and-valid") << "" << "a" << "" << "a" << 0;
    QTest::newRow("signature-missing") << "a" << "" << "" << "none" << -1;
    QTest::newRow("signature-of-another-file") << "a" << "" << "" << "other-file" << -1;
    QTest::newRow("altered-after-signing") << "a" << "" << "" << "altered" << -1;
    QTest::newRow("patch-entry-added-after-signing") << "a" << "" << "" << "patch-added" << -1;
    QTest::newRow("signed-with-another-key") << "a" << "" << "" << "b" << -1;
    QTest::newRow("base64-garbage") << "a" << "" << "" << "garbage" << -1;
    QTest::newRow("no-key-no-signature") << "" << "" << "" << "none" << 0;
    QTest::newRow("compiled-key-wins") << "a" << "b" << "" << "a" << 0;
    // Any user may rewrite the open folder's service.ini: its key neither pins nor unpins.
    QTest::newRow("service-ini-cannot-replace-the-pin") << "" << "a" << "b" << "b" << -1;
    QTest::newRow("service-ini-cannot-pin") << "" << "" << "a" << "none" << 0;
}

// With a key pinned, only a version file it signed, byte for byte, is used.
void TstUpdateWork::signedReleases()
{
    QFETCH(QString, compiled);
    QFETCH(QString, machine);
    QFETCH(QString, serviceIni);
    QFETCH(QString, signature);
    QFETCH(int, code);
    const QString keys = QDir::tempPath() + QStringLiteral("/keys");
    static const QMap<QString, QString> pub{{"a", newKey(keys, "a")}, {"b", newKey(keys, "b")}};
    const QString release = releases + QLatin1Char('/') + targetVersion;
    sandbox::writeFile(release + QStringLiteral("/files/a.txt"), "aaaa");
    QStringList arguments{QStringLiteral("--version"), targetVersion, QStringLiteral("--prefix"), server->url() + QStringLiteral("/stream/"),
                          QStringLiteral("-o"), release + QStringLiteral("/version.xml"), release + QStringLiteral("/files")};
    const bool altered = signature == QLatin1String("altered") || signature == QLatin1String("patch-added");
    if (signature == QLatin1String("a") || signature == QLatin1String("b") || altered)
        arguments << QStringLiteral("--sign") << keys + (signature == QLatin1String("b") ? "/b.key" : "/a.key");
    QCOMPARE(sandbox::run(QStringLiteral(MKVERSION), arguments).exitCode, 0);
    const QString sig = release + QStringLiteral("/version.xml.sig");
    if (signature == QLatin1String("altered"))
        sandbox::writeFile(release + QStringLiteral("/version.xml"), fileBytes(release + QStringLiteral("/version.xml")).replace("/stream/", "/streaM/"));
    // A patch entry that would make a.txt from a file of the attacker's choosing.
    if (signature == QLatin1String("patch-added"))
        sandbox::writeFile(release + QStringLiteral("/version.xml"),
                           fileBytes(release + QStringLiteral("/version.xml"))
                               .replace("size=\"4\"/>", "size=\"4\"><patch base=\"" + QByteArray(40, 'a')
                                                          + "\" baseSize=\"4\" path=\"/0/\" name=\"a.txt.patch\" hashCode=\""
                                                          + QByteArray(40, 'b') + "\" size=\"9\"/></file>"));
    if (signature == QLatin1String("garbage"))
        sandbox::writeFile(sig, "not base64 at all!!\n");
    if (signature == QLatin1String("other-file")) {
        QCOMPARE(sandbox::run(QStringLiteral(MKVERSION), {QStringLiteral("--version"), QStringLiteral("9"), QStringLiteral("--sign"),
                                                          keys + QStringLiteral("/a.key"), QStringLiteral("-o"),
                                                          keys + QStringLiteral("/other.xml"), release + QStringLiteral("/files")})
                     .exitCode,
                 0);
        QFile::copy(keys + QStringLiteral("/other.xml.sig"), sig);
    }
    const QString serviceFile = sandbox::programDir() + QStringLiteral("/service.ini");
    const QByteArray service = fileBytes(serviceFile);
    if (!serviceIni.isEmpty())
        sandbox::writeFile(serviceFile, service + "updateKey=" + pub.value(serviceIni).toLatin1() + "\n");
    builtInKey = pub.value(compiled);
    const QString pinned = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Quorlan\\NimbraPVX");
    sandbox::setRegistryValue(pinned, QStringLiteral("UpdateKey"), pub.value(machine));

    const Outcome o = run();
    sandbox::setRegistryValue(pinned, QStringLiteral("UpdateKey"), QString());
    sandbox::writeFile(serviceFile, service);
    QCOMPARE(o.errors, code ? QList<int>{code} : QList<int>());
    QCOMPARE(QFileInfo::exists(newDir), code == 0);
}

// An independent checker agrees: OpenSSL verifies mkversion's signature with the key
// mkversion wrote, and only the owner can read the private key.
void TstUpdateWork::keysVerifyWithOpenssl()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/openssl");
    const QString pub = newKey(dir, QStringLiteral("publisher"));
    // Group and others get nothing (the owner's bits are 0xF000, the user's 0x0F00).
    QCOMPARE(int(QFile::permissions(dir + QStringLiteral("/publisher.key")) & 0x00FF), 0);
    sandbox::writeFile(dir + QStringLiteral("/files/a.txt"), "a");
    QCOMPARE(sandbox::run(QStringLiteral(MKVERSION), {QStringLiteral("--version"), QStringLiteral("1"), QStringLiteral("--sign"),
                                                      dir + QStringLiteral("/publisher.key"), QStringLiteral("-o"),
                                                      dir + QStringLiteral("/version.xml"), dir + QStringLiteral("/files")})
                 .exitCode,
             0);
    // The public key as OpenSSL derives it from the private one: a 12-byte prefix, then the key.
    QProcess derive;
    derive.start(QStringLiteral("openssl"), {QStringLiteral("pkey"), QStringLiteral("-in"), dir + QStringLiteral("/publisher.key"),
                                             QStringLiteral("-pubout"), QStringLiteral("-outform"), QStringLiteral("DER")});
    QVERIFY(derive.waitForFinished());
    QCOMPARE(derive.readAllStandardOutput().mid(12).toBase64(), pub.toLatin1());
    sandbox::writeFile(dir + QStringLiteral("/sig.bin"), QByteArray::fromBase64(fileBytes(dir + QStringLiteral("/version.xml.sig"))));
    QProcess verify;
    verify.start(QStringLiteral("openssl"), {QStringLiteral("pkeyutl"), QStringLiteral("-verify"), QStringLiteral("-inkey"),
                                             dir + QStringLiteral("/publisher.key"), QStringLiteral("-rawin"), QStringLiteral("-in"),
                                             dir + QStringLiteral("/version.xml"), QStringLiteral("-sigfile"), dir + QStringLiteral("/sig.bin")});
    QVERIFY(verify.waitForFinished());
    QVERIFY2(verify.readAllStandardOutput().contains("Signature Verified Successfully"), verify.readAllStandardError().constData());
}

QTEST_GUILESS_MAIN(TstUpdateWork)
#include "tst_updatework.moc"
