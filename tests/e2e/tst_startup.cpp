#include "sandbox.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

// The built programs started as a user would start them, each from a folder of its own.
class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void endsWithZero_data();
    void endsWithZero();
    void configuredProgramsKeepRunning_data();
    void configuredProgramsKeepRunning();

private:
    QString programIn(const QString &name, bool configured);
};

QString TstStartup::programIn(const QString &name, bool configured)
{
    const QString dir = QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag();
    if (configured) {
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

QTEST_GUILESS_MAIN(TstStartup)
#include "tst_startup.moc"
