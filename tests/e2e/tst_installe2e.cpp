#include "archive.h"
#include "refserver.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

// The real installer on a staged package, driven as a person would: a window on a
// virtual display, two presses of its button.
class TstInstallE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void installsAndStartsTheClient();
    void updatesTheInstalledClient();

private:
    QByteArray waitForWindow(QProcess &program);
    void startInDisplay(QProcess &program, const QString &path, const QStringList &arguments);
    void screenshot(const QByteArray &window, const QString &name);
    QString stagePackage();
    QByteArray xdotool(const QStringList &arguments);
    void pressInstall(const QByteArray &window);

    QProcess xvfb;
    QString display;
    QScopedPointer<RefServer> server;
    QString clientMark;
    QString installed;  // the directory the installer made
};

void TstInstallE2e::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("Xvfb and xdotool are needed to press the installer's button");
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp"), QStringLiteral("-noreset"), QStringLiteral("-screen"),
                                        QStringLiteral("0"), QStringLiteral("1024x768x24")});
    QVERIFY(xvfb.waitForReadyRead(10000));
    display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine().trimmed());
    server.reset(new RefServer(QDir::tempPath() + QStringLiteral("/releases")));
    QVERIFY(server->isRunning());
}

void TstInstallE2e::cleanupTestCase()
{
    xvfb.kill();
    xvfb.waitForFinished();
}

// files.zip with a stand-in client that records its start, the real uninstaller, and
// what ships beside the archive.
QString TstInstallE2e::stagePackage()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/package");
    clientMark = QDir::tempPath() + QStringLiteral("/client-ran");
    const QFile::Permissions runnable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QDir().mkpath(dir);
    const QByteArray service = "[server]\nchannel=" + server->url().toUtf8() + "\nupdate=" + server->url().toUtf8() + "\n";
    archive::write(dir + QStringLiteral("/files.zip"),
                   {{"NimbraPVX.exe", "#!/bin/sh\necho \"$0\" > '" + clientMark.toUtf8() + "'\n", runnable},
                    {"uninstall.exe", readFile(sandbox::clientProgram(QStringLiteral("uninstall"))), runnable},
                    {"plugins/render.dll", "plugin"},
                    {"service.ini", service},
                    {"update", readFile(sandbox::clientProgram(QStringLiteral("update"))), runnable}});
    sandbox::writeZqIni(dir, {{"exe", "NimbraClient.exe"}, {"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra"},
                              {"mark", "e2e"}});
    sandbox::writeFile(dir + QStringLiteral("/service.ini"), service);
    sandbox::writeFile(dir + QStringLiteral("/version"), "\"2.1.0\"\r\n");
    sandbox::writeFile(dir + QStringLiteral("/SPCache"), "cache");
    sandbox::writeFile(dir + QStringLiteral("/Qt5Core.dll"), "runtime");
    QFile::copy(QStringLiteral(PE_FIXTURE_DIR "/seven32.ico"), dir + QStringLiteral("/ZQ.ico"));
    return sandbox::copyProgram(sandbox::clientProgram(QStringLiteral("install")), dir);
}

QByteArray TstInstallE2e::xdotool(const QStringList &arguments)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    tool.waitForFinished(20000);
    return tool.readAllStandardOutput().trimmed();
}

// The button's centre, from the form: 138..448 x 273..313 inside the window.
void TstInstallE2e::pressInstall(const QByteArray &window)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::fromLatin1(window), QStringLiteral("293"),
             QStringLiteral("293"), QStringLiteral("click"), QStringLiteral("1")});
}

void TstInstallE2e::installsAndStartsTheClient()
{
    const QString program = stagePackage();
    QProcess installer;
    startInDisplay(installer, program, {});
    const QByteArray window = waitForWindow(installer);
    QVERIFY(!window.isEmpty());

    // A window is mapped before it takes input: press until the run has begun.
    const QString product = qEnvironmentVariable("PROGRAMFILES") + QStringLiteral("/Nimbra/NimbraPVX");
    for (int attempt = 0; attempt < 20 && !QFileInfo::exists(product); ++attempt) {
        pressInstall(window);
        QTest::qWait(500);
    }
    QVERIFY(QFileInfo::exists(product));
    QTRY_VERIFY_WITH_TIMEOUT(!server->records().isEmpty(), 30000);
    QTest::qWait(300);
    screenshot(window, QStringLiteral("install-e2e-finished"));
    // A press before the finished state is shown is lost: press until the installer ends.
    for (int attempt = 0; attempt < 20 && !installer.waitForFinished(1000); ++attempt)
        pressInstall(window);
    QCOMPARE(installer.state(), QProcess::NotRunning);
    QCOMPARE(installer.exitCode(), 0);

    const QStringList versions = QDir(product).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(versions.size(), 1);
    const QString dir = product + QLatin1Char('/') + versions.first();
    installed = dir;
    const QString client = dir + QStringLiteral("/NimbraClient.exe");
    QTRY_COMPARE(readFile(clientMark), client.toUtf8() + '\n');
    QCOMPARE(readFile(dir + QStringLiteral("/plugins/render.dll")), QByteArray("plugin"));
    QCOMPARE(readFile(dir + QStringLiteral("/Qt5Core.dll")), QByteArray("runtime"));
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("/uninstall.exe")) && QFileInfo::exists(dir + QStringLiteral("/ZQ.ico")));
    QCOMPARE(readFile(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/NimbraPVX/AllUser/SPCache")), QByteArray("cache"));
    const QString startMenu = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/Nimbra/");
    QCOMPARE(QFileInfo(startMenu + QStringLiteral("启动星云渲染.lnk")).symLinkTarget(), client);
    QCOMPARE(QFileInfo(startMenu + QStringLiteral("卸载星云渲染.lnk")).symLinkTarget(), dir + QStringLiteral("/uninstall.exe"));
    QCOMPARE(QFileInfo(QDir::homePath() + QStringLiteral("/Desktop/星云渲染.lnk")).symLinkTarget(), client);

    const QString entry = sandbox::uninstallKey(QStringLiteral("NimbraPVX"));
    QCOMPARE(sandbox::registryValue(entry, QStringLiteral("installDir")), dir);
    QCOMPARE(sandbox::registryValue(entry, QStringLiteral("DisplayVersion")), QStringLiteral("2.1.0"));
    QCOMPARE(sandbox::registryValue(sandbox::runKey(),
                                    QStringLiteral("NimbraClient.exe")),
             QLatin1Char('"') + client + QStringLiteral("\" RegAutoRun"));
    QCOMPARE(sandbox::registryValue(sandbox::settingsKey(QStringLiteral("NimbraPVX")),
                                    QStringLiteral("InstallDir")),
             dir);
    QCOMPARE(server->records().first().toObject().value("query").toObject().value("mark").toString(), QStringLiteral("e2e"));
    // Open to every user.
    QVERIFY(QFileInfo(dir + QStringLiteral("/plugins/render.dll")).permissions() & QFile::WriteOther);
}

void TstInstallE2e::startInDisplay(QProcess &program, const QString &path, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QFileInfo(path).absolutePath());
    program.start(path, arguments);
    QVERIFY(program.waitForStarted());
}

QByteArray TstInstallE2e::waitForWindow(QProcess &program)
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--pid"), QString::number(program.processId())})
        .split('\n')
        .last();
}

void TstInstallE2e::screenshot(const QByteArray &window, const QString &name)
{
    if (!qEnvironmentVariableIsEmpty("SCREENSHOT_DIR"))
        QProcess::execute(QStringLiteral("/usr/bin/import"),
                          {QStringLiteral("-display"), display, QStringLiteral("-window"), QString::fromLatin1(window),
                           qEnvironmentVariable("SCREENSHOT_DIR") + QLatin1Char('/') + name + QStringLiteral(".png")});
}

// The updater shipped with the client, started from its directory as the client would:
// a second version published with mkversion, some files changed, some not.
void TstInstallE2e::updatesTheInstalledClient()
{
    QVERIFY2(!installed.isEmpty(), "nothing installed");
    const QString tree = QDir::tempPath() + QStringLiteral("/releases/2.2.0/files");
    const QFile::Permissions runnable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    sandbox::writeFile(tree + QStringLiteral("/NimbraPVX.exe"), "#!/bin/sh\necho \"$0\" > '" + clientMark.toUtf8() + "'\n# 2.2\n");
    QFile::setPermissions(tree + QStringLiteral("/NimbraPVX.exe"), runnable);
    sandbox::writeFile(tree + QStringLiteral("/plugins/render.dll"), "plugin");
    sandbox::writeFile(tree + QStringLiteral("/plugins/new.dll"), "new in 2.2");
    QFile::copy(installed + QStringLiteral("/uninstall.exe"), tree + QStringLiteral("/uninstall.exe"));
    QCOMPARE(sandbox::run(QStringLiteral(MKVERSION), {QStringLiteral("--version"), QStringLiteral("2.2.0"), QStringLiteral("--prefix"),
                                                      QStringLiteral("{server}/stream/"), QStringLiteral("--note"), QStringLiteral("2.2"),
                                                      QStringLiteral("-o"), QDir::tempPath() + QStringLiteral("/releases/2.2.0/version.xml"), tree})
                 .exitCode,
             0);
    QFile::remove(clientMark);

    QProcess updater;
    startInDisplay(updater, installed + QStringLiteral("/update"), {QStringLiteral("2.2.0")});
    const QByteArray window = waitForWindow(updater);
    const QString entry = sandbox::uninstallKey(QStringLiteral("NimbraPVX"));
    QTRY_VERIFY_WITH_TIMEOUT(sandbox::registryValue(entry, QStringLiteral("installDir")) != installed, 30000);
    const QString dir = sandbox::registryValue(entry, QStringLiteral("installDir"));
    QTest::qWait(300);
    screenshot(window, QStringLiteral("update-e2e-done"));
    // "Finish": the button's centre, from the form.
    for (int attempt = 0; attempt < 20 && !updater.waitForFinished(1000); ++attempt)
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::fromLatin1(window), QStringLiteral("293"),
                 QStringLiteral("333"), QStringLiteral("click"), QStringLiteral("1")});
    QCOMPARE(updater.state(), QProcess::NotRunning);
    QCOMPARE(updater.exitCode(), 0);

    const QString client = dir + QStringLiteral("/NimbraClient.exe");
    QTRY_COMPARE(readFile(clientMark), client.toUtf8() + '\n');
    QVERIFY(dir.contains(QStringLiteral("/NimbraPVX/2.2.0.")));
    QCOMPARE(readFile(dir + QStringLiteral("/plugins/new.dll")), QByteArray("new in 2.2"));
    QCOMPARE(readFile(dir + QStringLiteral("/plugins/render.dll")), QByteArray("plugin"));
    QVERIFY(QFileInfo::exists(installed + QStringLiteral("/NimbraClient.exe")));
    QStringList fetched;
    for (const QJsonValue &r : server->requests()) {
        const QJsonObject query = r.toObject().value("query").toObject();
        if (query.value("version").toString() == QLatin1String("2.2.0") && query.contains("path"))
            fetched << query.value("path").toString();
    }
    fetched.sort();
    QCOMPARE(fetched, (QStringList{"files///NimbraPVX.exe", "files//plugins//new.dll"}));
    QCOMPARE(sandbox::registryValue(entry, QStringLiteral("DisplayVersion")), QStringLiteral("2.2.0"));
    QCOMPARE(sandbox::registryValue(sandbox::runKey(),
                                    QStringLiteral("NimbraClient.exe")),
             QLatin1Char('"') + client + QStringLiteral("\" RegAutoRun"));
    const QString startMenu = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications/Nimbra/");
    QCOMPARE(QFileInfo(startMenu + QStringLiteral("启动星云渲染.lnk")).symLinkTarget(), client);
    QCOMPARE(QFileInfo(QDir::homePath() + QStringLiteral("/Desktop/星云渲染.lnk")).symLinkTarget(), client);
}

QTEST_GUILESS_MAIN(TstInstallE2e)
#include "tst_installe2e.moc"
