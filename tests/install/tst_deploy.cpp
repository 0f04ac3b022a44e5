#include "archive.h"
#include "boxanswerer.h"
#include "peresources.h"
#include "registry.h"
#include "refserver.h"
#include "sandbox.h"
#include "widget.h"
#include "xfunc.h"
#include "zipthread.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonObject>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

using Info = QMap<QString, QString>;

namespace {

using sandbox::desktopDir;
using sandbox::runKey;
using sandbox::settingsKey;
using sandbox::startMenuDir;
using sandbox::uninstallKey;

} // namespace

// The install run from the button to the finished window, on a staged package beside
// the test program: what it leaves in files, links and registry, and what it reports.
class TstDeploy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void deployment_data();
    void deployment();
    void reinstallReplacesLinks();
    void errorExitsRegisterNothing_data();
    void errorExitsRegisterNothing();
    void finishStartsClientAndCompanion_data();
    void finishStartsClientAndCompanion();
    void channelReport_data();
    void channelReport();
    void macAddressChoice_data();
    void macAddressChoice();
    void urlEncode_data();
    void urlEncode();

private:
    void stage(const Info &ini, const QString &icon = QStringLiteral("seven32.ico"), bool withClient = true);
    void install(Widget &window, bool startMenuChecked = true, bool autoRunChecked = true);

    QScopedPointer<RefServer> server;
};

void TstDeploy::initTestCase()
{
    server.reset(new RefServer(QDir::tempPath()));
    QVERIFY(server->isRunning());
    sandbox::writeFile(QStringLiteral("version"), "2.1.0");
}

void TstDeploy::init()
{
    sandbox::clearRegistry();
    BaseWidget::languageFlag = true;
    for (const QString &dir : {startMenuDir(), desktopDir(), qEnvironmentVariable("PROGRAMFILES")})
        QDir(dir).removeRecursively();
    sandbox::writeFile(sandbox::programDir() + QStringLiteral("/service.ini"),
                       "[server]\nchannel=" + server->url().toUtf8() + "\n");
}

// files.zip with the client under its shipped name and the uninstaller, and what ships
// beside it.
void TstDeploy::stage(const Info &ini, const QString &icon, bool withClient)
{
    const QString dir = sandbox::programDir();
    QList<archive::Entry> entries{{"uninstall.exe", "uninstaller"}, {"bin/data.txt", "data"}};
    if (withClient)
        entries.append(archive::Entry{"NimbraPVX.exe", "client"});
    QVERIFY(archive::write(dir + QStringLiteral("/files.zip"), entries));
    sandbox::writeZqIni(dir, ini);
    QFile::remove(dir + QStringLiteral("/ZQ.ico"));
    QVERIFY(QFile::copy(QStringLiteral(PE_FIXTURE_DIR "/") + icon, dir + QStringLiteral("/ZQ.ico")));
    sandbox::writeFile(dir + QStringLiteral("/SPCache"), "cache");
    sandbox::writeFile(dir + QStringLiteral("/Qt5Core.dll"), "runtime");
    BaseWidget config;
    config.isChinese();
}

void TstDeploy::install(Widget &window, bool startMenuChecked, bool autoRunChecked)
{
    window.show();
    sandbox::child<QCheckBox>(window, "startMenu")->setChecked(startMenuChecked);
    sandbox::child<QCheckBox>(window, "autoRun")->setChecked(autoRunChecked);
    QTest::mouseClick(sandbox::child<QPushButton>(window, "install"), Qt::LeftButton);
    auto *thread = window.findChild<ZipThread *>();
    QVERIFY(thread);
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 30000);
    QCoreApplication::sendPostedEvents();
}

void TstDeploy::deployment_data()
{
    QTest::addColumn<Info>("ini");
    QTest::addColumn<bool>("startMenuChecked");
    QTest::addColumn<bool>("autoRunChecked");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("startLink");      // relative to the Start menu; empty: none
    QTest::addColumn<QString>("uninstallLink");
    QTest::addColumn<QString>("desktopLink");
    QTest::addColumn<QString>("publisher");      // "<absent>" when not written
    QTest::addColumn<bool>("makerAddress");
    QTest::addColumn<QString>("info");

    const Info standard{{"exe", "NimbraClient.exe"}, {"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra"}, {"mark", QStringLiteral("渠道7")}};
    QTest::newRow("standard-chinese") << standard << true << true << "NimbraPVX" << QStringLiteral("Nimbra/启动星云渲染.lnk")
        << QStringLiteral("Nimbra/卸载星云渲染.lnk") << QStringLiteral("星云渲染.lnk") << QStringLiteral("萨沃克科技股份有限公司") << true
        << QStringLiteral(R"({"exe":"NimbraClient.exe","lang":"","mark":"渠道7","name":"星云渲染","nameEN":"Nimbra","third":""})");
    Info english = standard;
    english.insert("lang", "en_us");
    english.insert("nameEN", "Render Cloud");
    QTest::newRow("standard-english") << english << true << true << "NimbraPVX" << "Nimbra/start Render Cloud.lnk"
        << "Nimbra/uninstall Render Cloud.lnk" << "Render Cloud.lnk" << "Sarvok" << true
        << QStringLiteral(R"({"exe":"NimbraClient.exe","lang":"en_us","mark":"渠道7","name":"Render Cloud","nameEN":"Render Cloud","third":""})");
    QTest::newRow("co-branded") << Info{{"exe", "NimbraClient.exe"}, {"name", QStringLiteral("星云Unity")}, {"third", "KWRender"}}
        << true << true << "NimbraKW" << QStringLiteral("Nimbra/启动星云Unity.lnk") << QStringLiteral("Nimbra/卸载星云Unity.lnk")
        << QStringLiteral("星云Unity.lnk") << QStringLiteral("萨沃克科技股份有限公司") << false
        << QStringLiteral(R"({"exe":"NimbraClient.exe","lang":"","mark":"","name":"星云Unity","nameEN":"","third":"KWRender"})");
    QTest::newRow("partner") << Info{{"exe", "RenderCloud.exe"}, {"name", QStringLiteral("渲染云")}, {"third", "OKARender"}}
        << true << true << "NimbraPVX" << QStringLiteral("渲染云/启动渲染云.lnk") << QStringLiteral("渲染云/卸载渲染云.lnk")
        << QStringLiteral("渲染云.lnk") << "<absent>" << false
        << QStringLiteral(R"({"exe":"RenderCloud.exe","lang":"","mark":"","name":"渲染云","nameEN":"","third":"OKARender"})");
    QTest::newRow("options-unchecked") << standard << false << false << "NimbraPVX" << QString() << QString()
        << QStringLiteral("星云渲染.lnk") << QStringLiteral("萨沃克科技股份有限公司") << true
        << QStringLiteral(R"({"exe":"NimbraClient.exe","lang":"","mark":"渠道7","name":"星云渲染","nameEN":"Nimbra","third":""})");
    QTest::newRow("empty-name") << Info{{"exe", "NimbraClient.exe"}} << true << true << "NimbraPVX"
        << QStringLiteral("Nimbra/启动.lnk") << QStringLiteral("Nimbra/卸载.lnk") << ".lnk" << QStringLiteral("萨沃克科技股份有限公司") << true
        << R"({"exe":"NimbraClient.exe","lang":"","mark":"","name":"","nameEN":"","third":""})";
    QTest::newRow("shipped-name-kept") << Info{{"exe", "NimbraPVX.exe"}, {"name", "Nimbra"}} << true << true << "NimbraPVX"
        << QStringLiteral("Nimbra/启动Nimbra.lnk") << QStringLiteral("Nimbra/卸载Nimbra.lnk") << "Nimbra.lnk"
        << QStringLiteral("萨沃克科技股份有限公司") << true
        << R"({"exe":"NimbraPVX.exe","lang":"","mark":"","name":"Nimbra","nameEN":"","third":""})";
}

void TstDeploy::deployment()
{
    QFETCH(Info, ini);
    QFETCH(bool, startMenuChecked);
    QFETCH(bool, autoRunChecked);
    QFETCH(QString, key);
    QFETCH(QString, startLink);
    QFETCH(QString, uninstallLink);
    QFETCH(QString, desktopLink);
    QFETCH(QString, publisher);
    QFETCH(bool, makerAddress);
    QFETCH(QString, info);

    stage(ini);
    Widget window;
    install(window, startMenuChecked, autoRunChecked);
    const QString dir = window.installDir;
    const QString client = dir + QLatin1Char('/') + ini.value("exe");
    const QString uninstaller = dir + QStringLiteral("/uninstall.exe");

    QCOMPARE(fileBytes(client), QByteArray("client"));
    QCOMPARE(QFileInfo::exists(dir + QStringLiteral("/NimbraPVX.exe")), ini.value("exe") == QLatin1String("NimbraPVX.exe"));
    QCOMPARE(fileBytes(dir + QStringLiteral("/Qt5Core.dll")), QByteArray("runtime"));
    QVERIFY(QFileInfo::exists(dir + QStringLiteral("/ZQ.ico")));
    QCOMPARE(fileBytes(qEnvironmentVariable("XDG_DATA_HOME") + QLatin1Char('/') + key + QStringLiteral("/AllUser/SPCache")),
             QByteArray("cache"));

    QCOMPARE(QFileInfo(desktopDir() + QLatin1Char('/') + desktopLink).symLinkTarget(), client);
    if (startLink.isEmpty()) {
        QVERIFY(QDir(startMenuDir()).isEmpty());
    } else {
        QCOMPARE(QFileInfo(startMenuDir() + QLatin1Char('/') + startLink).symLinkTarget(), client);
        QCOMPARE(QFileInfo(startMenuDir() + QLatin1Char('/') + uninstallLink).symLinkTarget(), uninstaller);
    }

    const QString entry = uninstallKey(key);
    const bool chinese = ini.value("lang") != QLatin1String("en_us");
    const QString shownName = chinese ? ini.value("name") : ini.value("nameEN");
    QCOMPARE(sandbox::valueOrAbsent(entry, "DisplayName"), shownName);
    // What fleet tools read: quoted paths (blanks), a silent removal, where and how large.
    QCOMPARE(sandbox::valueOrAbsent(entry, "UninstallString"), QLatin1Char('"') + uninstaller + QLatin1Char('"'));
    QCOMPARE(sandbox::valueOrAbsent(entry, "QuietUninstallString"),
             QLatin1Char('"') + uninstaller + QStringLiteral("\" --silent"));
    QCOMPARE(sandbox::valueOrAbsent(entry, "InstallLocation"), dir);
    QVERIFY(sandbox::registryValue(entry, QStringLiteral("EstimatedSize")).toInt() > 0);
    QCOMPARE(sandbox::valueOrAbsent(entry, "installDir"), dir);
    QCOMPARE(sandbox::valueOrAbsent(entry, "DisplayVersion"), QStringLiteral("2.1.0"));
    QCOMPARE(sandbox::valueOrAbsent(entry, "DisplayIcon"), client);
    QCOMPARE(sandbox::valueOrAbsent(entry, "Publisher"), publisher);
    QCOMPARE(sandbox::valueOrAbsent(entry, "URLInfoAbout") != QLatin1String("<absent>"), makerAddress);
    QCOMPARE(sandbox::valueOrAbsent(runKey(), ini.value("exe")),
             autoRunChecked ? QLatin1Char('"') + client + QStringLiteral("\" RegAutoRun") : QStringLiteral("<absent>"));
    const QString settings = settingsKey(key);
    QCOMPARE(sandbox::valueOrAbsent(settings, "ThirdPart"), ini.value("third"));
    QCOMPARE(sandbox::valueOrAbsent(settings, "Language"), chinese ? QStringLiteral("zh_cn") : QStringLiteral("en_us"));
    QCOMPARE(sandbox::valueOrAbsent(settings, "InstallDir"), dir);
    QCOMPARE(sandbox::valueOrAbsent(settings, "info"), info);

    QCOMPARE(sandbox::child<QPushButton>(window, "install")->text(),
             chinese ? QStringLiteral("开启") + shownName : QStringLiteral("Finish"));
    QVERIFY(sandbox::child<QPushButton>(window, "closeBtn")->isVisible());
    QCOMPARE(sandbox::child<QCheckBox>(window, "installFaxel")->isVisible(), chinese && ini.value("third").isEmpty());
    const QString shots = qEnvironmentVariable("SCREENSHOT_DIR");
    if (!shots.isEmpty())
        window.grab().save(shots + QStringLiteral("/install-finished-%1.png").arg(QTest::currentDataTag()));
}

// The second install's links point into its own directory; the first, of the same
// version, is no previous version to keep.
void TstDeploy::reinstallReplacesLinks()
{
    stage({{"exe", "NimbraClient.exe"}, {"name", QStringLiteral("星云渲染")}});
    QString first;
    {
        Widget window;
        install(window);
        first = window.installDir;
    }
    QTest::qWait(10);  // the time of day names the directory
    Widget window;
    install(window);
    QVERIFY(window.installDir != first);
    QVERIFY(!QFileInfo::exists(first));
    for (const QString &link : {startMenuDir() + QStringLiteral("/Nimbra/启动星云渲染.lnk"), desktopDir() + QStringLiteral("/星云渲染.lnk")})
        QCOMPARE(QFileInfo(link).symLinkTarget(), window.installDir + QStringLiteral("/NimbraClient.exe"));
}

void TstDeploy::errorExitsRegisterNothing_data()
{
    QTest::addColumn<Info>("ini");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("withClient");
    QTest::addColumn<QString>("message");
    QTest::newRow("rename-fails") << Info{{"exe", "NimbraClient.exe"}, {"name", "Nimbra"}} << "seven32.ico" << false
                                  << QStringLiteral("重命名失败");
    QTest::newRow("exe-not-a-file-name") << Info{{"exe", "../NimbraClient.exe"}, {"name", "Nimbra"}, {"lang", "en_us"}}
                                         << "seven32.ico" << true << "Rename file error";
    QTest::newRow("icon-fails") << Info{{"exe", "RenderCloud.exe"}, {"name", QStringLiteral("渲染云")}, {"third", "OKARender"}}
                                << "none32.ico" << true << QStringLiteral("换图标失败");
}

void TstDeploy::errorExitsRegisterNothing()
{
    QFETCH(Info, ini);
    QFETCH(QString, icon);
    QFETCH(bool, withClient);
    QFETCH(QString, message);
    stage(ini, icon, withClient);
    Widget window;
    BoxAnswerer answerer(BoxAnswerer::Ok);
    install(window);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, message);
    QVERIFY(!window.isVisible());
    QVERIFY(!QFileInfo::exists(window.installDir + QStringLiteral("/../NimbraClient.exe")));
    QVERIFY(!QFileInfo::exists(platform::registryFile(QStringLiteral("HKEY_LOCAL_MACHINE")))
            || sandbox::registryValue(uninstallKey(QStringLiteral("NimbraPVX")), QStringLiteral("installDir")).isEmpty());
    QCOMPARE(sandbox::valueOrAbsent(settingsKey(QStringLiteral("NimbraPVX")), "info"), QStringLiteral("<absent>"));
    QCOMPARE(sandbox::valueOrAbsent(runKey(), ini.value("exe")), QStringLiteral("<absent>"));
    QVERIFY(QDir(desktopDir()).isEmpty());
}

void TstDeploy::finishStartsClientAndCompanion_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("companionChecked");
    QTest::addColumn<bool>("companionInstalled");
    QTest::addColumn<QByteArray>("companionRan");  // its arguments, or empty
    QTest::newRow("companion-wanted") << "" << true << false << QByteArray("/sp- /silent\n");
    QTest::newRow("companion-unchecked") << "" << false << false << QByteArray();
    QTest::newRow("companion-installed") << "" << true << true << QByteArray();
    QTest::newRow("english-never-offers-it") << "en_us" << true << false << QByteArray();
}

// Stand-ins for the client and the companion installer record that they ran.
void TstDeploy::finishStartsClientAndCompanion()
{
    QFETCH(QString, lang);
    QFETCH(bool, companionChecked);
    QFETCH(bool, companionInstalled);
    QFETCH(QByteArray, companionRan);
    const QString marks = QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag();
    const QFile::Permissions runnable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    stage({{"exe", "NimbraPVX.exe"}, {"name", "Nimbra"}, {"lang", lang}});
    QVERIFY(archive::write(sandbox::programDir() + QStringLiteral("/files.zip"),
                           {{"NimbraPVX.exe", "#!/bin/sh\necho ran > '" + marks.toUtf8() + "-client'\n", runnable}}));
    const QString companion = sandbox::programDir() + QStringLiteral("/Faxelsetup.exe");
    sandbox::writeFile(companion, "#!/bin/sh\necho \"$@\" > '" + marks.toUtf8() + "-companion'\n");
    QFile::setPermissions(companion, runnable);
    if (companionInstalled)
        sandbox::setRegistryValue(settingsKey(QStringLiteral("nimbratools")),
                                  QStringLiteral("InstallDir"), QStringLiteral("C:/tools"));

    Widget window;
    install(window);
    auto *offer = sandbox::child<QCheckBox>(window, "installFaxel");
    if (offer->isVisible())  // a hidden box cannot be ticked
        offer->setChecked(companionChecked);
    QTest::mouseClick(sandbox::child<QPushButton>(window, "install"), Qt::LeftButton);
    QVERIFY(!window.isVisible());
    // Generous: a loaded machine (the Wine table beside it) starts processes slowly.
    QTRY_COMPARE_WITH_TIMEOUT(fileBytes(marks + QStringLiteral("-client")), QByteArray("ran\n"), 30000);
    QTest::qWait(companionRan.isEmpty() ? 300 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(fileBytes(marks + QStringLiteral("-companion")),
                              companionRan.isEmpty() ? QByteArray("<unreadable>") : companionRan, 30000);
    QFile::remove(companion);
}

void TstDeploy::channelReport_data()
{
    QTest::addColumn<QString>("mark");
    QTest::addColumn<bool>("reachable");
    QTest::newRow("plain-mark") << "channel7" << true;
    QTest::newRow("mark-with-delimiters") << "a&b=c" << true;
    QTest::newRow("no-network") << "channel7" << false;
}

void TstDeploy::channelReport()
{
    QFETCH(QString, mark);
    QFETCH(bool, reachable);
    if (!reachable)
        sandbox::writeFile(sandbox::programDir() + QStringLiteral("/service.ini"), "[server]\nchannel=http://127.0.0.1:9\n");
    stage({{"exe", "NimbraPVX.exe"}, {"name", "Nimbra"}, {"mark", mark}});
    const int before = server->records().size();
    Widget window;
    install(window);
    QCOMPARE(sandbox::child<QPushButton>(window, "install")->text(), QStringLiteral("开启Nimbra"));
    if (!reachable) {
        QTest::qWait(200);
        QCOMPARE(server->records().size(), before);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(server->records().size(), before + 1, 30000);
    const QJsonObject report = server->records().last().toObject();
    QCOMPARE(report.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(report.value("body").toString(), QString());
    const QString raw = report.value("rawQuery").toString();
    QVERIFY2(raw.startsWith(QStringLiteral("mark=")) && raw.indexOf(QStringLiteral("&macAddr=")) < raw.indexOf(QStringLiteral("&cpu=")),
             qPrintable(raw));
    const QJsonObject query = report.value("query").toObject();
    QCOMPARE(query.value("mark").toString(), mark);
    HardwareInfo hardware;
    XFunc::queryHardware(hardware);
    QCOMPARE(query.value("cpu").toString(), XFunc::urlEncode(hardware.cpu));
    QCOMPARE(query.value("macAddr").toString(), XFunc::macAddress());
    QVERIFY2(raw.contains(QStringLiteral("&macAddr=") + XFunc::urlEncode(XFunc::macAddress()) + QStringLiteral("&cpu=")),
             qPrintable(raw));
}

using Interfaces = QList<XFunc::Interface>;
Q_DECLARE_METATYPE(Interfaces)

void TstDeploy::macAddressChoice_data()
{
    QTest::addColumn<Interfaces>("interfaces");
    QTest::addColumn<QString>("chosen");
    const XFunc::Interface eth{"Ethernet", "00:1a:2b:3c:4d:5e"}, wifi{"Wi-Fi", "A0:B1:C2:D3:E4:F5"};
    QTest::newRow("physical-after-vmware") << Interfaces{eth, {"VMware Network Adapter VMnet8", "00:50:56:C0:00:08"}}
                                           << "00:1A:2B:3C:4D:5E";
    QTest::newRow("vmware-lower-case") << Interfaces{eth, {"vmware bridge", "00:50:56:C0:00:01"}} << "00:1A:2B:3C:4D:5E";
    QTest::newRow("two-cards-last-wins") << Interfaces{eth, wifi} << "A0:B1:C2:D3:E4:F5";
    QTest::newRow("eight-byte-address") << Interfaces{eth, {"Teredo", "00:00:00:00:00:00:00:E0"}} << "00:1A:2B:3C:4D:5E";
    QTest::newRow("loopback-and-tunnel-only") << Interfaces{{"Loopback Pseudo-Interface 1", ""}, {"isatap.lan", "00:00:00:00:00:01"}}
                                              << "";
}

void TstDeploy::macAddressChoice()
{
    QFETCH(Interfaces, interfaces);
    QFETCH(QString, chosen);
    QCOMPARE(XFunc::chooseMacAddress(interfaces), chosen);
}

void TstDeploy::urlEncode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("five-characters") << "a:b/c?d&e=f" << "a%3Ab%2Fc%3Fd%26e%3Df";
    QTest::newRow("others-stay") << "50% [4] x y" << "50% [4] x y";
    QTest::newRow("mac-address") << "00:1A" << "00%3A1A";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("cpu") << XFunc::cpuText(4, "Intel(R) Core(TM) i7 CPU @ 3.40GHz") << "[4]Intel(R) Core(TM) i7 CPU @ 3.40GHz";
}

void TstDeploy::urlEncode()
{
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QCOMPARE(XFunc::urlEncode(text), encoded);
}

QTEST_MAIN(TstDeploy)
#include "tst_deploy.moc"
