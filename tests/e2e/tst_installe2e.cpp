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

private:
    QString stagePackage();
    QByteArray xdotool(const QStringList &arguments);
    void pressInstall(const QByteArray &window);

    QProcess xvfb;
    QString display;
    QScopedPointer<RefServer> server;
    QString clientMark;
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
    server.reset(new RefServer(QDir::tempPath()));
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
    archive::write(dir + QStringLiteral("/files.zip"),
                   {{"NimbraPVX.exe", "#!/bin/sh\necho \"$0\" > '" + clientMark.toUtf8() + "'\n", runnable},
                    {"uninstall.exe", readFile(sandbox::clientProgram(QStringLiteral("uninstall"))), runnable},
                    {"plugins/render.dll", "plugin"}});
    sandbox::writeZqIni(dir, {{"exe", "NimbraClient.exe"}, {"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra"},
                              {"mark", "e2e"}});
    sandbox::writeFile(dir + QStringLiteral("/service.ini"), "[server]\nchannel=" + server->url().toUtf8() + "\n");
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    installer.setProcessEnvironment(env);
    installer.setWorkingDirectory(QFileInfo(program).absolutePath());
    installer.start(program, QStringList());
    QVERIFY(installer.waitForStarted());
    const QByteArray window = xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--pid"), QString::number(installer.processId())})
                                  .split('\n')
                                  .last();
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
    if (!qEnvironmentVariableIsEmpty("SCREENSHOT_DIR"))
        QProcess::execute(QStringLiteral("/usr/bin/import"),
                          {QStringLiteral("-display"), display, QStringLiteral("-window"), QString::fromLatin1(window),
                           qEnvironmentVariable("SCREENSHOT_DIR") + QStringLiteral("/install-e2e-finished.png")});
    pressInstall(window);
    QVERIFY(installer.waitForFinished(15000));
    QCOMPARE(installer.exitCode(), 0);

    const QStringList versions = QDir(product).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(versions.size(), 1);
    const QString dir = product + QLatin1Char('/') + versions.first();
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

    const QString entry = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NimbraPVX");
    QCOMPARE(sandbox::registryValue(entry, QStringLiteral("installDir")), dir);
    QCOMPARE(sandbox::registryValue(entry, QStringLiteral("DisplayVersion")), QStringLiteral("2.1.0"));
    QCOMPARE(sandbox::registryValue(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
                                    QStringLiteral("NimbraClient.exe")),
             QLatin1Char('"') + client + QStringLiteral("\" RegAutoRun"));
    QCOMPARE(sandbox::registryValue(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\NimbraPVX\\Settings"),
                                    QStringLiteral("InstallDir")),
             dir);
    QCOMPARE(server->records().first().toObject().value("query").toObject().value("mark").toString(), QStringLiteral("e2e"));
    // Open to every user.
    QVERIFY(QFileInfo(dir + QStringLiteral("/plugins/render.dll")).permissions() & QFile::WriteOther);
}

QTEST_GUILESS_MAIN(TstInstallE2e)
#include "tst_installe2e.moc"
