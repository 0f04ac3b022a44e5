#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using Info = QMap<QString, QString>;
Q_DECLARE_METATYPE(Info)

namespace {

const QString uninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

// Both editions' records exist, told apart by a marker, so a probe shows which one
// its configuration read.
void seedBothEditions(const QString &pvxInfo, const QString &kwInfo)
{
    for (const QString &k : {QStringLiteral("NimbraPVX"), QStringLiteral("NimbraKW")}) {
        const QString settings = QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\%1\\Settings").arg(k);
        sandbox::setRegistryValue(settings, QStringLiteral("marker"), k);
        sandbox::setRegistryValue(settings, QStringLiteral("info"), k == QLatin1String("NimbraPVX") ? pvxInfo : kwInfo);
        sandbox::setRegistryValue(uninstallKey + QLatin1Char('\\') + k, QStringLiteral("installDir"), QStringLiteral("C:/") + k);
    }
}

} // namespace

class TstConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void fromZqIni_data();
    void fromZqIni();
    void fromRegistry_data();
    void fromRegistry();
    void notConfiguredEndsWithZero_data();
    void notConfiguredEndsWithZero();

private:
    QJsonObject probe(const QString &dir, int *exitCode = nullptr);
    QString caseDir(const QString &subPath);
};

void TstConfiguration::cleanup()
{
    sandbox::clearRegistry();
}

QString TstConfiguration::caseDir(const QString &subPath)
{
    const QString dir = QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag() + QLatin1Char('/') + subPath;
    QDir().mkpath(dir);
    return dir;
}

QJsonObject TstConfiguration::probe(const QString &dir, int *exitCode)
{
    const QString program = sandbox::copyProgram(sandbox::helperProgram(QStringLiteral("configprobe")), dir);
    const sandbox::Run run = sandbox::run(program);
    if (exitCode)
        *exitCode = run.finished ? run.exitCode : -1;
    return QJsonDocument::fromJson(run.out).object();
}

void TstConfiguration::fromZqIni_data()
{
    QTest::addColumn<Info>("ini");
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QString>("settingsKey");

    const Info names{{"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra"},
                     {"exe", QStringLiteral("星云.exe")}, {"mark", QStringLiteral("渠道7")}};
    QTest::newRow("gb2312-names") << names << true << "NimbraPVX";
    QTest::newRow("lang-en_us") << Info{{"lang", "en_us"}} << false << "NimbraPVX";
    QTest::newRow("lang-upper-case") << Info{{"lang", "EN_US"}} << true << "NimbraPVX";
    QTest::newRow("lang-other") << Info{{"lang", "en"}} << true << "NimbraPVX";
    QTest::newRow("lang-zh_cn") << Info{{"lang", "zh_cn"}} << true << "NimbraPVX";
    QTest::newRow("third-kwrender") << Info{{"third", "KWRender"}} << true << "NimbraKW";
    QTest::newRow("third-okarender") << Info{{"third", "OKARender"}} << true << "NimbraPVX";
    QTest::newRow("third-lower-case") << Info{{"third", "kwrender"}} << true << "NimbraPVX";
}

void TstConfiguration::fromZqIni()
{
    QFETCH(Info, ini);
    QFETCH(bool, chinese);
    QFETCH(QString, settingsKey);

    seedBothEditions(QString(), QString());
    // The program's directory names an edition, which only the registry branch heeds.
    const QString dir = caseDir(QStringLiteral("NimbraPVX/NimbraKW"));
    sandbox::writeZqIni(dir, ini);
    sandbox::writeFile(dir + QStringLiteral("/service.ini"), "[server]\nbs=http://127.0.0.1:9/svc\n");

    const QJsonObject c = probe(dir);
    for (const char *field : {"name", "nameEN", "exe", "mark", "lang", "third"})
        QCOMPARE(c.value(QLatin1String(field)).toString(), ini.value(QLatin1String(field)));
    QCOMPARE(c.value("chinese").toBool(), chinese);
    QCOMPARE(c.value("settingsMarker").toString(), settingsKey);
    QCOMPARE(c.value("editionKey").toString(), settingsKey);
    QCOMPARE(c.value("installDir").toString(), QString());
    QCOMPARE(c.value("appDir").toString(), dir);
    QCOMPARE(c.value("bs").toString(), QStringLiteral("http://127.0.0.1:9/svc"));
}

void TstConfiguration::fromRegistry_data()
{
    QTest::addColumn<QString>("subPath");
    QTest::addColumn<QString>("pvxInfo");
    QTest::addColumn<QString>("expectedKey");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<bool>("chinese");

    QTest::newRow("dir-names-pvx") << "NimbraPVX/1.0.12345"
                                   << R"({"exe":"c.exe","lang":"en_us","mark":"m","name":"星云","nameEN":"N","third":"OKARender"})"
                                   << "NimbraPVX" << QStringLiteral("星云") << false;
    QTest::newRow("dir-without-pvx") << "Nimbra for Unity/1.0.1" << QString() << "NimbraKW" << "Nimbra for Unity" << true;
    QTest::newRow("dir-lower-case-pvx") << "nimbrapvx/1.0.1" << QString() << "NimbraKW" << "Nimbra for Unity" << true;
    QTest::newRow("info-missing") << "NimbraPVX/1" << QString() << "NimbraPVX" << QString() << true;
    QTest::newRow("info-not-json") << "NimbraPVX/1" << "{name:" << "NimbraPVX" << QString() << true;
    QTest::newRow("info-not-strings") << "NimbraPVX/1" << R"({"name":5,"lang":["en_us"]})"
                                      << "NimbraPVX" << QString() << true;
    QTest::newRow("info-array") << "NimbraPVX/1" << R"(["en_us"])" << "NimbraPVX" << QString() << true;
}

void TstConfiguration::fromRegistry()
{
    QFETCH(QString, subPath);
    QFETCH(QString, pvxInfo);
    QFETCH(QString, expectedKey);
    QFETCH(QString, expectedName);
    QFETCH(bool, chinese);

    seedBothEditions(pvxInfo, QStringLiteral(R"({"name":"Nimbra for Unity","third":"KWRender","exe":"NimbraPVX.exe"})"));
    const QJsonObject c = probe(caseDir(subPath));
    QCOMPARE(c.value("settingsMarker").toString(), expectedKey);
    QCOMPARE(c.value("installDir").toString(), QStringLiteral("C:/") + expectedKey);
    QCOMPARE(c.value("name").toString(), expectedName);
    QCOMPARE(c.value("chinese").toBool(), chinese);
    const QJsonObject info = QJsonDocument::fromJson(pvxInfo.toUtf8()).object();
    if (expectedKey == QLatin1String("NimbraPVX")) {
        for (const char *field : {"exe", "mark", "nameEN", "third", "lang"})
            QCOMPARE(c.value(QLatin1String(field)).toString(), info.value(QLatin1String(field)).toString());
    }
}

void TstConfiguration::notConfiguredEndsWithZero_data()
{
    QTest::addColumn<QString>("subPath");
    QTest::addColumn<QString>("installDir");

    QTest::newRow("nothing-registered") << "NimbraPVX/1" << QString();
    QTest::newRow("other-edition-registered") << "Nimbra for Unity/1" << "C:/elsewhere";
    QTest::newRow("empty-install-dir") << "NimbraPVX/2" << "";
}

void TstConfiguration::notConfiguredEndsWithZero()
{
    QFETCH(QString, subPath);
    QFETCH(QString, installDir);

    if (!installDir.isNull())
        sandbox::setRegistryValue(uninstallKey + QStringLiteral("\\NimbraPVX"), QStringLiteral("installDir"), installDir);
    int exitCode = -1;
    const QJsonObject c = probe(caseDir(subPath), &exitCode);
    QCOMPARE(exitCode, 0);
    QVERIFY2(c.isEmpty(), "the process went on after finding no configuration");
}

QTEST_GUILESS_MAIN(TstConfiguration)
#include "tst_configuration.moc"
