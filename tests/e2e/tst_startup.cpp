#include "archive.h"
#include "refserver.h"
#include "sandbox.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

// An installed client's updater reads this record instead of a ZQ.ini; its directory
// lies in the product folder, whose name says the edition.
QString installationDir(const QString &name)
{
    return QDir::tempPath() + QStringLiteral("/NimbraPVX/") + name;
}

void registerInstallation(const QString &dir)
{
    sandbox::setRegistryValue(sandbox::uninstallKey(QStringLiteral("NimbraPVX")),
                              QStringLiteral("installDir"), dir);
    sandbox::setRegistryValue(sandbox::settingsKey(QStringLiteral("NimbraPVX")), QStringLiteral("info"),
                              QStringLiteral(R"({"exe":"NimbraClient.exe","name":"星云渲染","nameEN":"Nimbra"})"));
}

} // namespace

// The built programs started as a user would start them, each from a folder of its own.
class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void endsWithZero_data();
    void endsWithZero();
    void configuredProgramsKeepRunning_data();
    void configuredProgramsKeepRunning();
    void silentFailures_data();
    void silentFailures();
    void silentInstallTakesOptions();

private:
    QString programIn(const QString &name, bool configured);
    QString stageSilent(const QString &program, const QString &package, RefServer &server,
                        const QString &folder = QString(QTest::currentDataTag()));
};

QString TstStartup::programIn(const QString &name, bool configured)
{
    const bool installed = configured && name == QLatin1String("update");
    const QString dir = installed ? installationDir(QTest::currentDataTag())
                                  : QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag();
    sandbox::clearRegistry();
    if (installed) {
        registerInstallation(dir);
        // Its service is this machine's closed port, never further.
        sandbox::writeFile(dir + QStringLiteral("/service.ini"), "[server]\nupdate=http://127.0.0.1:9\n");
    } else if (configured) {
        sandbox::writeZqIni(dir, {{"exe", "NimbraClientStub.exe"}, {"name", QStringLiteral("星云")}});
        sandbox::writeFile(dir + QStringLiteral("/version"), "\"2.1.0\"\r\n");
    }
    return sandbox::copyProgram(sandbox::clientProgram(name), dir);
}

void TstStartup::endsWithZero_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<bool>("configured");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("install-not-configured") << "install" << false << QStringList();
    QTest::newRow("update-not-configured") << "update" << false << QStringList{"1.0.0"};
    QTest::newRow("uninstall-not-configured") << "uninstall" << false << QStringList();
    QTest::newRow("install-no-version-file") << "install" << true << QStringList{"-"};
    QTest::newRow("install-version-climbs") << "install" << true << QStringList{".."};
    QTest::newRow("install-version-empty") << "install" << true << QStringList{"\"\" \n"};
    QTest::newRow("update-no-argument") << "update" << true << QStringList();
    QTest::newRow("update-empty-version") << "update" << true << QStringList{""};
    QTest::newRow("update-version-climbs") << "update" << true << QStringList{".."};
    QTest::newRow("update-version-with-slash") << "update" << true << QStringList{"1.0/../../x"};
    QTest::newRow("update-version-with-backslash") << "update" << true << QStringList{"1.0\\x"};
    QTest::newRow("update-version-with-drive") << "update" << true << QStringList{"C:1.0"};
    QTest::newRow("update-version-with-newline") << "update" << true << QStringList{"1.0\n"};
}

void TstStartup::endsWithZero()
{
    QFETCH(QString, program);
    QFETCH(bool, configured);
    QFETCH(QStringList, arguments);

    const QString path = programIn(program, configured);
    // The installer takes no arguments: its rows give the content of its version file.
    if (program == QLatin1String("install") && !arguments.isEmpty()) {
        const QString versionFile = QFileInfo(path).absolutePath() + QStringLiteral("/version");
        QFile::remove(versionFile);
        if (arguments[0] != QLatin1String("-"))
            sandbox::writeFile(versionFile, arguments[0].toUtf8());
        arguments.clear();
    }
    const sandbox::Run run = sandbox::run(path, arguments, 10000);
    QVERIFY2(run.finished, "the program kept running");
    QCOMPARE(run.exitCode, 0);
}

void TstStartup::configuredProgramsKeepRunning_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("install") << "install" << QStringList();
    // Qt's own options are the application's, not unknown ones.
    QTest::newRow("install-with-qt-option") << "install" << QStringList{"-reverse"};
    QTest::newRow("update") << "update" << QStringList{QStringLiteral("1.0.2-测试")};
    QTest::newRow("uninstall") << "uninstall" << QStringList();
}

void TstStartup::configuredProgramsKeepRunning()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);

    QProcess process;
    const QString path = programIn(program, true);
    process.setWorkingDirectory(QFileInfo(path).absolutePath());
    process.start(path, arguments);
    QVERIFY(process.waitForStarted());
    QVERIFY2(!process.waitForFinished(1500), process.readAllStandardError().constData());
    process.kill();
    process.waitForFinished();
}

// A package or an installation for the silent rows: package names what is wrong with it.
QString TstStartup::stageSilent(const QString &program, const QString &package, RefServer &server,
                                const QString &folder)
{
    const QString dir = package == QLatin1String("installed") ? installationDir(folder)
                                                              : QDir::tempPath() + QStringLiteral("/silent-") + folder;
    QDir(dir).removeRecursively();
    // The installer's report goes to a closed port on this machine, never further.
    const QByteArray service = "[server]\nchannel=http://127.0.0.1:9\nupdate=" + server.url().toUtf8() + "\n";
    if (program == QLatin1String("update") && package == QLatin1String("installed")) {
        registerInstallation(dir);
        sandbox::writeFile(dir + QStringLiteral("/service.ini"), service);
    } else if (package != QLatin1String("not-configured")) {
        QMap<QString, QString> info{{"exe", "NimbraClient.exe"}, {"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra"}};
        if (package == QLatin1String("partner-bad-icon"))
            info.insert({{"third", "OKARender"}, {"lang", "en_us"}});
        sandbox::writeZqIni(dir, info);
        sandbox::writeFile(dir + QStringLiteral("/service.ini"), service);
    }
    if (package != QLatin1String("no-version-file"))
        sandbox::writeFile(dir + QStringLiteral("/version"), "\"2.1.0\"");
    sandbox::writeFile(dir + QStringLiteral("/ZQ.ico"), "not an icon");
    const QByteArray client = package == QLatin1String("no-client") ? "other.exe" : "NimbraPVX.exe";
    if (package == QLatin1String("corrupt-archive"))
        sandbox::writeFile(dir + QStringLiteral("/files.zip"), "PK\3\4 broken");
    else
        archive::write(dir + QStringLiteral("/files.zip"), {{client, "#!/bin/sh\n"}, {"service.ini", service}});
    return sandbox::copyProgram(sandbox::clientProgram(program), dir);
}

void TstStartup::silentFailures_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");  // on standard error, in the interface language

    QTest::newRow("unknown-option") << "install" << "good" << QStringList{"--silent", "--bogus"} << 2 << "bogus";
    QTest::newRow("unknown-option-in-a-window-run") << "uninstall" << "good" << QStringList{"--bogus"} << 2 << "bogus";
    QTest::newRow("update-without-version") << "update" << "installed" << QStringList{"--silent"} << 2 << "version";
    QTest::newRow("keep-versions-not-a-number") << "install" << "good" << QStringList{"--silent", "--keep-versions", "two"}
                                                << 2 << "keep-versions";
    QTest::newRow("keep-versions-below-zero") << "install" << "good" << QStringList{"--silent", "--keep-versions=-1"}
                                              << 2 << "keep-versions";
    QTest::newRow("rollback-with-a-version") << "update" << "installed" << QStringList{"--silent", "--rollback", "2.2.0"}
                                             << 2 << "rollback";
    QTest::newRow("nothing-to-roll-back") << "update" << "installed" << QStringList{"--silent", "--rollback"} << 16
                                          << QStringLiteral("没有可以回退到的早先版本。");
    QTest::newRow("update-without-installation") << "update" << "good" << QStringList{"--silent", "2.2.0"} << 3
                                                 << QStringLiteral("没有可更新的安装");
    QTest::newRow("not-configured") << "uninstall" << "not-configured" << QStringList{"--silent"} << 3
                                    << QStringLiteral("未配置客户端");
    QTest::newRow("another-program-running") << "install" << "another-running" << QStringList{"--silent"} << 4
                                             << QStringLiteral("另一个程序正在运行");
    QTest::newRow("no-version-file") << "install" << "no-version-file" << QStringList{"--silent"} << 7
                                     << QStringLiteral("文件“version”缺失");
    QTest::newRow("extraction-failed") << "install" << "corrupt-archive" << QStringList{"--silent"} << 8
                                       << QStringLiteral("解压文件失败");
    QTest::newRow("rename-failed") << "install" << "no-client" << QStringList{"--silent"} << 9
                                   << QStringLiteral("重命名失败");
    QTest::newRow("icon-failed-english") << "install" << "partner-bad-icon" << QStringList{"--silent"} << 10
                                         << "Change icon error";
    QTest::newRow("file-list-failed") << "update" << "installed" << QStringList{"--silent", "9.9.9"} << 11
                                      << QStringLiteral("获取更新文件列表失败！请重试！");
    QTest::newRow("download-failed") << "update" << "installed" << QStringList{"--silent", "2.2.0"} << 12
                                     << QStringLiteral("下载文件失败！");
    // What fleet tools map by default.
    const QStringList msi{"--silent", "--exit-codes", "msi"};
    QTest::newRow("msi-bad-command-line") << "install" << "good" << msi + QStringList{"--bogus"} << 1639 << "bogus";
    QTest::newRow("msi-unknown-code-style") << "install" << "good" << QStringList{"--silent", "--exit-codes=win"}
                                            << 2 << "exit-codes";
    QTest::newRow("msi-another-running") << "install" << "another-running" << msi << 1618 << QStringLiteral("另一个程序正在运行");
    QTest::newRow("msi-broken-package") << "install" << "no-version-file" << msi << 1620 << "version";
    QTest::newRow("msi-fatal") << "install" << "corrupt-archive" << QStringList{"--silent", "--exit-codes=msi"} << 1603
                               << QStringLiteral("解压文件失败");
    QTest::newRow("msi-nothing-to-roll-back") << "update" << "installed" << msi + QStringList{"--rollback"} << 1603
                                              << QStringLiteral("没有可以回退到的早先版本。");
    QTest::newRow("log-not-writable") << "uninstall" << "good" << QStringList{"--silent", "--log", "/nonexistent/run.log"}
                                      << 13 << QStringLiteral("文件夹 /nonexistent 不存在");
}

// Each failure a program knows ends a silent run with its own code and the window's
// message on standard error, and no run leaves a client registered.
void TstStartup::silentFailures()
{
    QFETCH(QString, program);
    QFETCH(QString, package);
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);

    sandbox::clearRegistry();
    const QString releases = QDir::tempPath() + QStringLiteral("/silent-releases");
    sandbox::writeFile(releases + QStringLiteral("/2.2.0/files/NimbraPVX.exe"), "new client");
    QCOMPARE(sandbox::run(QStringLiteral(MKVERSION), {QStringLiteral("--version"), QStringLiteral("2.2.0"), QStringLiteral("--prefix"),
                                                      QStringLiteral("{server}/stream/"), QStringLiteral("-o"),
                                                      releases + QStringLiteral("/2.2.0/version.xml"),
                                                      releases + QStringLiteral("/2.2.0/files")}).exitCode, 0);
    RefServer server(releases);
    server.addFault(QStringLiteral("status"), QStringLiteral("500"), QStringLiteral("NimbraPVX.exe"));
    const QString path = stageSilent(program, package, server);

    QProcess other;
    if (package == QLatin1String("another-running")) {
        other.setProcessChannelMode(QProcess::MergedChannels);
        other.start(stageSilent(QStringLiteral("uninstall"), QStringLiteral("good"), server, QStringLiteral("other")),
                    QStringList());
        QVERIFY(other.waitForReadyRead(10000));
    }
    const sandbox::Run run = sandbox::run(path, arguments, 30000);
    other.kill();
    other.waitForFinished();
    QVERIFY2(run.finished, "the program kept running");
    QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
    // A process's status here keeps the low eight bits of what Windows passes whole.
    QCOMPARE(run.exitCode, code & 0xff);
    QCOMPARE(sandbox::valueOrAbsent(sandbox::settingsKey(QStringLiteral("NimbraPVX")),
                                    QStringLiteral("InstallDir")), QStringLiteral("<absent>"));
}

// The choices a person makes in the window, from the command line; the log the first
// line of standard error names holds the client.
void TstStartup::silentInstallTakesOptions()
{
    sandbox::clearRegistry();
    RefServer server(QDir::tempPath() + QStringLiteral("/silent-releases"));
    const QString path = stageSilent(QStringLiteral("install"), QStringLiteral("good"), server);
    const QString target = QDir::tempPath() + QStringLiteral("/chosen target");
    const sandbox::Run run = sandbox::run(path, {QStringLiteral("--silent"), QStringLiteral("--dir"), target,
                                                 QStringLiteral("--no-start-menu"), QStringLiteral("--no-autorun")});
    QCOMPARE(run.exitCode, 0);
    const QString installed = sandbox::registryValue(
        sandbox::settingsKey(QStringLiteral("NimbraPVX")), QStringLiteral("InstallDir"));
    QVERIFY2(installed.startsWith(target + QLatin1Char('/')), qPrintable(installed));
    QVERIFY(QFileInfo(installed + QStringLiteral("/NimbraClient.exe")).isFile());
    QVERIFY(!QFileInfo::exists(sandbox::startMenuDir() + QStringLiteral("/Nimbra")));
    QCOMPARE(sandbox::valueOrAbsent(sandbox::runKey(),
                                    QStringLiteral("NimbraClient.exe")), QStringLiteral("<absent>"));
    const QByteArray firstLine = run.err.left(run.err.indexOf('\n'));
    QVERIFY2(firstLine.startsWith("log: "), run.err.constData());
    QFile log(QString::fromUtf8(firstLine.mid(5)));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("\twrite\tfile\tok\t" + installed.toUtf8() + "/NimbraClient.exe\n"));
}

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
