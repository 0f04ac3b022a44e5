#include "sandbox.h"
#include "singleapp.h"

#include <QDir>
#include <QLocalServer>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A copy of a program beside a ZQ.ini, so that it is configured and would run.
QString configuredProgram(const QString &name, const QString &dir)
{
    sandbox::writeZqIni(dir, {{"exe", "NimbraClientStub.exe"}, {"name", "N"}});
    sandbox::writeFile(dir + QStringLiteral("/version"), "2.1.0");
    return sandbox::copyProgram(sandbox::clientProgram(name), dir);
}

QStringList argumentsOf(const QString &name)
{
    return name == QLatin1String("update") ? QStringList{QStringLiteral("1.0.0")} : QStringList();
}

} // namespace

// This test program is itself a program of the system: it owns the name first.
class TstSingleApp : public QObject
{
    Q_OBJECT

public:
    explicit TstSingleApp(SingleApp *app)
        : app(app)
    {
    }

private slots:
    void initTestCase();
    void secondStartEndsAtOnce_data();
    void secondStartEndsAtOnce();
    void staleNameDoesNotBlock();
    void simultaneousStartsOneRuns();

private:
    SingleApp *app;
};

void TstSingleApp::initTestCase()
{
    QVERIFY(!app->exist());
}

void TstSingleApp::secondStartEndsAtOnce_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("install") << "install";
    QTest::newRow("update") << "update";
    QTest::newRow("uninstall") << "uninstall";
}

void TstSingleApp::secondStartEndsAtOnce()
{
    QFETCH(QString, program);
    QSignalSpy showUp(app, &SingleApp::showUp);
    const QString path = configuredProgram(program, QDir::tempPath() + QStringLiteral("/second/") + program);

    const sandbox::Run run = sandbox::run(path, argumentsOf(program), 10000);
    QVERIFY2(run.finished, "the second program kept running");
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.contains("server exist"));
    QTRY_COMPARE(showUp.count(), 1);
    QVERIFY2(!showUp.wait(100), "showUp came twice");
}

// Programs in a runtime folder of their own, so that this test's name is not theirs:
// the first is killed and leaves its name behind, the next must still start.
void TstSingleApp::staleNameDoesNotBlock()
{
    const QString tmp = QDir::tempPath() + QStringLiteral("/stale");
    QDir().mkpath(tmp);
    QFile::setPermissions(tmp, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp);
    const QString dir = QDir::tempPath() + QStringLiteral("/stale-programs");

    auto start = [&](QProcess &p, const QString &name) {
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir + QLatin1Char('/') + name);
        p.start(configuredProgram(name, dir + QLatin1Char('/') + name), argumentsOf(name));
        QVERIFY(p.waitForStarted());
    };
    QProcess crashed;
    start(crashed, QStringLiteral("install"));
    QTRY_VERIFY(QFileInfo::exists(tmp + QStringLiteral("/vantelo_install")));
    crashed.kill();
    QVERIFY(crashed.waitForFinished());
    QVERIFY(QFileInfo::exists(tmp + QStringLiteral("/vantelo_install")));

    QProcess next;
    start(next, QStringLiteral("uninstall"));
    QVERIFY2(!next.waitForFinished(1500), "the start after a crash ended at once");

    QProcess third;
    start(third, QStringLiteral("update"));
    QVERIFY2(third.waitForFinished(10000), "a second program ran beside the first");
    QCOMPARE(third.exitCode(), 0);

    next.kill();
    next.waitForFinished();
}

// Pairs released by one barrier, in a runtime folder of their own; a listener on the old
// name in the shared temporary folder must not count as a running program.
void TstSingleApp::simultaneousStartsOneRuns()
{
    QLocalServer planted;
    QVERIFY(planted.listen(QDir::tempPath() + QStringLiteral("/vantelo_install")));
    const QString runtime = QDir::tempPath() + QStringLiteral("/pairs");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString barrier = runtime + QStringLiteral("/barrier");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);

    for (int pair = 0; pair < 50; ++pair) {
        QFile::remove(barrier);
        QCOMPARE(mkfifo(QFile::encodeName(barrier).constData(), 0600), 0);
        // The probes read until the last writer, this test, closes the pipe.
        const int hold = open(QFile::encodeName(barrier).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(hold >= 0);
        QProcess probes[2];
        for (QProcess &p : probes) {
            p.setProcessEnvironment(env);
            p.start(sandbox::helperProgram(QStringLiteral("instanceprobe")), {barrier});
            QVERIFY(p.waitForStarted());
        }
        for (QProcess &p : probes) {
            QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 15000);
            QCOMPARE(p.readLine(), QByteArray("ready\n"));
        }
        close(hold);
        QByteArray answers;
        for (QProcess &p : probes) {
            QTRY_VERIFY_WITH_TIMEOUT(p.canReadLine(), 15000);
            answers += p.readLine().trimmed() + ' ';
        }
        for (QProcess &p : probes) {
            p.closeWriteChannel();
            QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(10000));
        }
        QVERIFY2(answers == "owner exist " || answers == "exist owner ", answers.constData());
    }
}

int main(int argc, char *argv[])
{
    SingleApp app(argc, argv);
    TstSingleApp test(&app);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleapp.moc"
