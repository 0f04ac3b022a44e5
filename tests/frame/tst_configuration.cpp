#include "clientconfig.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using Info = QMap<QString, QString>;
Q_DECLARE_METATYPE(Info)

namespace {

// Both editions' records exist, told apart by a marker, so a probe shows which one
// its configuration read.
void seedBothEditions(const QString &pvxInfo, const QString &kwInfo)
{
    for (const QString &k : {QStringLiteral("NimbraPVX"), QStringLiteral("NimbraKW")}) {
        const QString settings = sandbox::settingsKey(k);
        sandbox::setRegistryValue(settings, QStringLiteral("marker"), k);
        sandbox::setRegistryValue(settings, QStringLiteral("info"), k == QLatin1String("NimbraPVX") ? pvxInfo : kwInfo);
        sandbox::setRegistryValue(sandbox::uninstallKey(k), QStringLiteral("installDir"), QStringLiteral("C:/") + k);
    }
}

} // namespace

class TstConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void readClientConfig_data();
    void readClientConfig();
    void notConfigured_data();
    void notConfigured();

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

// Both editions' records exist; the co-branded one names Nimbra for Unity. A row with
// hasIni set has a ZQ.ini, whose values win over every record.
void TstConfiguration::readClientConfig_data()
{
    QTest::addColumn<QString>("subPath");
    QTest::addColumn<bool>("hasIni");
    QTest::addColumn<Info>("ini");
    QTest::addColumn<QString>("pvxInfo");
    QTest::addColumn<QString>("key");
    QTest::addColumn<Info>("expected");
    QTest::addColumn<bool>("chinese");

    const Info names{{"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra"},
                     {"exe", QStringLiteral("星云.exe")}, {"mark", QStringLiteral("渠道7")}};
    const Info kw{{"name", "Nimbra for Unity"}, {"third", "KWRender"}, {"exe", "NimbraPVX.exe"}};
    const QString renderCloud = R"({"exe":"RenderCloud.exe","lang":"en_us","mark":"m","name":"渲染云","nameEN":"Render Cloud","third":"OKARender"})";
    const Info renderCloudInfo{{"exe", "RenderCloud.exe"}, {"lang", "en_us"}, {"mark", "m"}, {"name", QStringLiteral("渲染云")},
                               {"nameEN", "Render Cloud"}, {"third", "OKARender"}};

    // The program's directory names an edition, which only the registry branch heeds.
    QTest::newRow("ini-gb2312-names") << "NimbraPVX/NimbraKW" << true << names << QString() << "NimbraPVX" << names << true;
    QTest::newRow("ini-lang-en_us") << "x" << true << Info{{"lang", "en_us"}} << QString() << "NimbraPVX" << Info{{"lang", "en_us"}} << false;
    QTest::newRow("ini-lang-upper-case") << "x" << true << Info{{"lang", "EN_US"}} << QString() << "NimbraPVX" << Info{{"lang", "EN_US"}} << true;
    QTest::newRow("ini-third-kwrender") << "NimbraPVX" << true << Info{{"third", "KWRender"}} << QString() << "NimbraKW" << Info{{"third", "KWRender"}} << true;
    QTest::newRow("ini-third-okarender") << "x" << true << Info{{"third", "OKARender"}} << QString() << "NimbraPVX" << Info{{"third", "OKARender"}} << true;
    QTest::newRow("ini-third-lower-case") << "x" << true << Info{{"third", "kwrender"}} << QString() << "NimbraPVX" << Info{{"third", "kwrender"}} << true;
    QTest::newRow("record-dir-names-pvx") << "NimbraPVX/1.0.12345" << false << Info{} << renderCloud << "NimbraPVX" << renderCloudInfo << false;
    QTest::newRow("record-dir-without-pvx") << "Nimbra for Unity/1.0.1" << false << Info{} << renderCloud << "NimbraKW" << kw << true;
    QTest::newRow("record-dir-lower-case-pvx") << "nimbrapvx/1.0.1" << false << Info{} << renderCloud << "NimbraKW" << kw << true;
    QTest::newRow("record-info-missing") << "NimbraPVX/1" << false << Info{} << QString() << "NimbraPVX" << Info{} << true;
    QTest::newRow("record-info-not-json") << "NimbraPVX/1" << false << Info{} << "{name:" << "NimbraPVX" << Info{} << true;
    QTest::newRow("record-info-not-strings") << "NimbraPVX/1" << false << Info{} << R"({"name":5,"lang":["en_us"]})" << "NimbraPVX" << Info{} << true;
    QTest::newRow("record-info-array") << "NimbraPVX/1" << false << Info{} << R"(["en_us"])" << "NimbraPVX" << Info{} << true;
}

void TstConfiguration::readClientConfig()
{
    QFETCH(QString, subPath);
    QFETCH(bool, hasIni);
    QFETCH(Info, ini);
    QFETCH(QString, pvxInfo);
    QFETCH(QString, key);
    QFETCH(Info, expected);
    QFETCH(bool, chinese);

    seedBothEditions(pvxInfo, QStringLiteral(R"({"name":"Nimbra for Unity","third":"KWRender","exe":"NimbraPVX.exe"})"));
    const QString dir = caseDir(subPath);
    if (hasIni)
        sandbox::writeZqIni(dir, ini);
    sandbox::writeFile(dir + QStringLiteral("/service.ini"), "[server]\nbs=http://127.0.0.1:9/svc\nchannel=http://127.0.0.1:9/ch\n");

    const std::optional<ClientConfig> c = ::readClientConfig(dir);
    QVERIFY(c);
    const Info got{{"exe", c->exe}, {"name", c->name}, {"nameEN", c->nameEN}, {"third", c->third}, {"mark", c->mark}, {"lang", c->lang}};
    for (auto it = got.cbegin(); it != got.cend(); ++it)
        QCOMPARE(it.value(), expected.value(it.key()));
    QCOMPARE(c->registryKey, key);
    QCOMPARE(c->installDir, hasIni ? QString() : QStringLiteral("C:/") + key);
    QCOMPARE(c->isChinese(), chinese);
    QCOMPARE(c->services.bs, QStringLiteral("http://127.0.0.1:9/svc"));
    QCOMPARE(c->services.channel, QStringLiteral("http://127.0.0.1:9/ch"));
    QCOMPARE(c->services.update, QStringLiteral("http://update.nimbra.example"));
}

void TstConfiguration::notConfigured_data()
{
    QTest::addColumn<QString>("subPath");
    QTest::addColumn<QString>("installDir");

    QTest::newRow("nothing-registered") << "NimbraPVX/1" << QString();
    QTest::newRow("other-edition-registered") << "Nimbra for Unity/1" << "C:/elsewhere";
    QTest::newRow("empty-install-dir") << "NimbraPVX/2" << "";
}

void TstConfiguration::notConfigured()
{
    QFETCH(QString, subPath);
    QFETCH(QString, installDir);

    if (!installDir.isNull())
        sandbox::setRegistryValue(sandbox::uninstallKey(QStringLiteral("NimbraPVX")), QStringLiteral("installDir"), installDir);
    // The programs end on it before their first window (tst_startup).
    QVERIFY(!::readClientConfig(caseDir(subPath)));
}

QTEST_GUILESS_MAIN(TstConfiguration)
#include "tst_configuration.moc"
