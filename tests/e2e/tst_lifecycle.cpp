#include "sandbox.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// The whole life of a client with the real programs, driven by the demo's driver: install,
// update, update again, uninstall with its self-deleting script. Afterwards nothing of
// ours is left and nothing of others' is touched.
class TstLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void lifecycle_data();
    void lifecycle();
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
    QProcess driver;
    driver.start(QStringLiteral("python3"), {QStringLiteral(LIFECYCLE_PY), QStringLiteral("--bin"), QStringLiteral(CLIENT_BIN_DIR),
                                             QStringLiteral("--sandbox"), sandbox, QStringLiteral("--edition"), edition,
                                             QStringLiteral("--lang"), lang, QStringLiteral("--client"), client});
    QVERIFY(driver.waitForFinished(180000));
    const QJsonObject report = QJsonDocument::fromJson(driver.readAllStandardOutput()).object();
    QVERIFY2(!report.contains("error"), qPrintable(report.value("error").toString()));
    QCOMPARE(report.value("leftovers").toArray(), QJsonArray());
    QVERIFY(report.value("planted_kept").toBool());
    QCOMPARE(report.value("client_runs").toArray().size(), clientStarts);
    QCOMPARE(driver.exitCode(), 0);
    if (client == QLatin1String("pe")) {
        const bool branded = edition != QLatin1String("standard");
        for (const char *stage : {"installed", "updated"}) {
            const QJsonObject seen = report.value("branding").toObject().value(QLatin1String(stage)).toObject();
            QCOMPARE(seen.value("description_is_name").toBool(), branded);
            QCOMPARE(seen.value("icon_replaced").toBool(), branded);
        }
    }
}

QTEST_GUILESS_MAIN(TstLifecycle)
#include "tst_lifecycle.moc"
