#include "sandbox.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {

QJsonObject runDriver(const QStringList &arguments, int *exitCode)
{
    QProcess driver;
    driver.start(QStringLiteral("python3"), QStringList{QStringLiteral(LIFECYCLE_PY), QStringLiteral("--bin"),
                                                        QStringLiteral(CLIENT_BIN_DIR)} + arguments);
    if (!driver.waitForFinished(180000))
        return {{"error", "the driver did not finish"}};
    *exitCode = driver.exitCode();
    return QJsonDocument::fromJson(driver.readAllStandardOutput()).object();
}

} // namespace

// The whole life of a client with the real programs, driven by the demo's driver: install,
// update, update again, uninstall with its self-deleting script. Afterwards nothing of
// ours is left and nothing of others' is touched. The same life run unattended, without
// any display, leaves the machine as the windows do after every step.
class TstLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void lifecycle_data();
    void lifecycle();

private:
    void compareSilentRun(const QStringList &arguments, const QJsonObject &windowRun);
};

void TstLifecycle::lifecycle_data()
{
    QTest::addColumn<QString>("edition");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("client");
    QTest::addColumn<int>("clientStarts");  // after the install and each update; the co-branded one also on removal
    QTest::newRow("standard-chinese") << "standard" << "zh" << "script" << 3;
    QTest::newRow("standard-english") << "standard" << "en" << "script" << 3;
    QTest::newRow("co-branded-chinese") << "cobranded" << "zh" << "script" << 4;
    QTest::newRow("co-branded-english") << "cobranded" << "en" << "script" << 4;
    QTest::newRow("partner-chinese") << "partner" << "zh" << "script" << 3;
    QTest::newRow("partner-english") << "partner" << "en" << "script" << 3;
    // The Windows client cannot start here; wrestool shows its branding instead.
    QTest::newRow("standard-windows-client") << "standard" << "zh" << "pe" << 0;
    QTest::newRow("partner-windows-client") << "partner" << "en" << "pe" << 0;
}

void TstLifecycle::lifecycle()
{
    QFETCH(QString, edition);
    QFETCH(QString, lang);
    QFETCH(QString, client);
    QFETCH(int, clientStarts);
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb and xdotool are needed to press the programs' buttons");
    if (client == QLatin1String("pe") && !QFileInfo::exists(QStringLiteral(CLIENT_BIN_DIR "/demo-client.exe")))
        QSKIP("the Windows demo client needs mingw-w64");
    const QString sandbox = QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag();
    const QStringList arguments{QStringLiteral("--edition"), edition, QStringLiteral("--lang"), lang,
                                QStringLiteral("--client"), client};
    int exitCode = -1;
    const QJsonObject report = runDriver(arguments + QStringList{QStringLiteral("--sandbox"), sandbox}, &exitCode);
    QVERIFY2(!report.contains("error"), qPrintable(report.value("error").toString()));
    QCOMPARE(report.value("leftovers").toArray(), QJsonArray());
    QVERIFY(report.value("planted_kept").toBool());
    // Run as root with nobody who asked for the rights, the client's removal step does not run.
    const bool unityStepSkipped = edition == QLatin1String("cobranded") && geteuid() == 0 && qEnvironmentVariableIsEmpty("SUDO_UID");
    QCOMPARE(report.value("client_runs").toArray().size(), clientStarts - (unityStepSkipped ? 1 : 0));
    QCOMPARE(exitCode, 0);
    if (client == QLatin1String("script"))
        compareSilentRun(arguments + QStringList{QStringLiteral("--sandbox"), sandbox + QStringLiteral("-silent")}, report);
    if (client == QLatin1String("pe")) {
        const bool branded = edition != QLatin1String("standard");
        for (const char *stage : {"installed", "updated"}) {
            const QJsonObject seen = report.value("branding").toObject().value(QLatin1String(stage)).toObject();
            QCOMPARE(seen.value("description_is_name").toBool(), branded);
            QCOMPARE(seen.value("icon_replaced").toBool(), branded);
        }
    }
}

// Exit codes 0, progress that parses and ends at 100, a log naming every file and link
// written or removed, and after each step the same files, links and registry as the
// window run.
void TstLifecycle::compareSilentRun(const QStringList &arguments, const QJsonObject &windowRun)
{
    int exitCode = -1;
    const QJsonObject report = runDriver(arguments + QStringList{QStringLiteral("--silent")}, &exitCode);
    QVERIFY2(!report.contains("error"), qPrintable(report.value("error").toString()));
    QCOMPARE(exitCode, 0);
    QCOMPARE(report.value("client_runs").toArray().size(), windowRun.value("client_runs").toArray().size() - 3);
    for (const QJsonValue &run : report.value("silent").toArray()) {
        const QJsonArray lines = run.toObject().value("progress").toArray();
        QVERIFY(!lines.isEmpty());
        for (const QJsonValue &line : lines)
            QVERIFY2(QJsonDocument::fromJson(line.toString().toUtf8()).isObject(), qPrintable(line.toString()));
        QCOMPARE(QJsonDocument::fromJson(lines.last().toString().toUtf8()).object().value("percent").toInt(), 100);
    }
    QCOMPARE(report.value("unlogged").toArray(), QJsonArray());
    const QJsonObject silentSnapshots = report.value("snapshots").toObject();
    const QJsonObject windowSnapshots = windowRun.value("snapshots").toObject();
    QCOMPARE(silentSnapshots.keys(), windowSnapshots.keys());
    for (const QString &step : windowSnapshots.keys()) {
        const QJsonObject seen = silentSnapshots.value(step).toObject();
        const QJsonObject expected = windowSnapshots.value(step).toObject();
        for (const QString &path : expected.keys() + seen.keys())
            QVERIFY2(seen.value(path) == expected.value(path), qPrintable(step + QStringLiteral(": ") + path));
    }
}

QTEST_GUILESS_MAIN(TstLifecycle)
#include "tst_lifecycle.moc"
