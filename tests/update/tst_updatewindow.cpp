#include "peresources.h"
#include "refserver.h"
#include "sandbox.h"
#include "updatestate.h"
#include "updatework.h"
#include "widget.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextEdit>
#include <QtTest>

using Files = QMap<QString, QByteArray>;

namespace {

// The folder a finished run made of its staging folder: "<version>.<sszzz>" beside it.
QString finishedDir()
{
    const QDir product(QFileInfo(::newDir).absolutePath());
    const QStringList found = product.entryList({targetVersion + QStringLiteral(".[0-9][0-9][0-9][0-9][0-9]")}, QDir::Dirs);
    return found.size() == 1 ? product.filePath(found.first()) : QString();
}

const QString entryKey = sandbox::uninstallKey(QStringLiteral("NimbraKW"));
const QString runKey = sandbox::runKey();
const QString settingsKey = sandbox::settingsKey(QStringLiteral("NimbraKW"));

using sandbox::desktopDir;
using sandbox::startMenuDir;

QPushButton *button(QWidget &w, const char *name)
{
    return sandbox::child<QPushButton>(w, name);
}

} // namespace

// The updater's window with a real worker against the reference service, started from an
// installation seeded as the installer leaves it (the registry record, no ZQ.ini).
class TstUpdateWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void states_data();
    void states();
    void retryIntoTheSameDirectory();
    void closingDuringARun();
    void apply_data();
    void apply();

private:
    void seed(const QString &third, const QString &lang, bool autorun);
    void publish(const Files &files);
    void waitForEnd(Widget &window);

    QScopedPointer<RefServer> server;
    QString releases;
    QString installDir;
    int run = 0;
    DownloadLimits limits;
};

void TstUpdateWindow::initTestCase()
{
    releases = QDir::tempPath() + QStringLiteral("/releases");
    server.reset(new RefServer(releases));
    QVERIFY(server->isRunning());
    QFile::remove(sandbox::programDir() + QStringLiteral("/ZQ.ini"));
    sandbox::writeFile(sandbox::programDir() + QStringLiteral("/service.ini"),
                       "[server]\nupdate=" + server->url().toUtf8() + "/cn\nupdateEN=" + server->url().toUtf8() + "/en\n");
    limits.inactivityMs = 2000;
}

void TstUpdateWindow::init()
{
    ++run;
    targetVersion = QStringLiteral("2.%1.0").arg(run);
    sandbox::clearRegistry();
    server->clearFaults();
    BaseWidget::languageFlag = true;
    for (const QString &dir : {startMenuDir(), desktopDir()})
        QDir(dir).removeRecursively();
}

// An installation of 2.0.0 with its record, links and (optionally) autorun value.
void TstUpdateWindow::seed(const QString &third, const QString &lang, bool autorun)
{
    installDir = QDir::tempPath() + QStringLiteral("/Programs%1/NimbraPVX/2.0.0.11111").arg(run);
    sandbox::writeFile(installDir + QStringLiteral("/NimbraClient.exe"), "old client");
    sandbox::writeFile(installDir + QStringLiteral("/same.dll"), "same");
    const QString name = lang == QLatin1String("en_us") ? QStringLiteral("Render Cloud") : QStringLiteral("渲染云");
    sandbox::setRegistryValue(entryKey, QStringLiteral("installDir"), installDir);
    sandbox::setRegistryValue(entryKey, QStringLiteral("DisplayName"), name);
    sandbox::setRegistryValue(entryKey, QStringLiteral("Publisher"), QStringLiteral("as installed"));
    sandbox::setRegistryValue(settingsKey, QStringLiteral("InstallDir"), installDir);
    sandbox::setRegistryValue(settingsKey, QStringLiteral("info"),
                              QStringLiteral(R"({"exe":"NimbraClient.exe","lang":"%1","name":"渲染云","nameEN":"Render Cloud","third":"%2"})")
                                  .arg(lang, third));
    if (autorun)
        sandbox::setRegistryValue(runKey, QStringLiteral("NimbraClient.exe"), QStringLiteral("old"));
    BaseWidget config;
    config.isChinese();
}

void TstUpdateWindow::publish(const Files &files)
{
    const QString tree = releases + QLatin1Char('/') + targetVersion + QStringLiteral("/files");
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        sandbox::writeFile(tree + QLatin1Char('/') + it.key(), it.value());
    QCOMPARE(sandbox::run(QStringLiteral(MKVERSION),
                          {QStringLiteral("--version"), targetVersion, QStringLiteral("--prefix"), QStringLiteral("{server}/stream/"),
                           QStringLiteral("--note"), QStringLiteral("新版本"), QStringLiteral("-o"),
                           releases + QLatin1Char('/') + targetVersion + QStringLiteral("/version.xml"), tree})
                 .exitCode,
             0);
}

void TstUpdateWindow::waitForEnd(Widget &window)
{
    QTRY_VERIFY_WITH_TIMEOUT(button(window, "update")->isEnabled(), 20000);
}

void TstUpdateWindow::states_data()
{
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("err");
    QTest::newRow("done") << "" << "" << "" << "";
    QTest::newRow("done-english") << "" << "en_us" << "KWRender" << "";
    QTest::newRow("file-list") << "unpublished" << "" << "" << QStringLiteral("获取更新文件列表失败！请重试！");
    QTest::newRow("file-list-english") << "unpublished" << "en_us" << "" << "File list error!Please retry!";
    QTest::newRow("download") << "download" << "" << "" << QStringLiteral("下载文件失败！请重试！");
    QTest::newRow("download-english") << "download" << "en_us" << "" << "File download error!Please retry!";
    QTest::newRow("rename") << "no-client" << "" << "" << QStringLiteral("重命名文件失败！请重试！");
    QTest::newRow("rename-english") << "no-client" << "en_us" << "" << "Rename file error!Please retry!";
    QTest::newRow("icon") << "" << "" << "ZZRender" << QStringLiteral("换图标失败！请重试！");
    QTest::newRow("icon-english") << "" << "en_us" << "ZZRender" << "Change icon error!Please retry!";
}

void TstUpdateWindow::states()
{
    QFETCH(QString, cause);
    QFETCH(QString, lang);
    QFETCH(QString, third);
    QFETCH(QString, err);
    seed(third, lang, true);
    Files release{{"NimbraPVX.exe", "new client"}, {"same.dll", "same"}, {"uninstall.exe", "u"}};
    if (cause == QLatin1String("no-client"))
        release.remove(QStringLiteral("NimbraPVX.exe"));
    if (cause != QLatin1String("unpublished"))
        publish(release);
    if (cause == QLatin1String("download"))
        server->addFault(QStringLiteral("status"), QStringLiteral("500"), QStringLiteral("uninstall.exe"));

    Widget window(Reporter::plain(), limits);
    window.show();
    const bool english = lang == QLatin1String("en_us");
    QCOMPARE(button(window, "update")->text(), english ? QStringLiteral("Updating") : QStringLiteral("更新中"));
    QVERIFY(!button(window, "update")->isEnabled() && button(window, "closeBtn")->isHidden());
    waitForEnd(window);
    QCOMPARE(sandbox::child<QLabel>(window, "err")->text(), err);
    QVERIFY(button(window, "minBtn")->isHidden());
    QVERIFY(button(window, "closeBtn")->isVisible());
    const QString done = english ? QStringLiteral("Finish") : QStringLiteral("完成");
    const QString retry = english ? QStringLiteral("Update") : QStringLiteral("更新");
    QCOMPARE(button(window, "update")->text(), err.isEmpty() ? done : retry);
    QCOMPARE(sandbox::child<QLabel>(window, "title")->text(), english ? QStringLiteral("Render Cloud") : QStringLiteral("渲染云"));
    if (cause != QLatin1String("unpublished"))
        QCOMPARE(sandbox::child<QTextEdit>(window, "textEdit")->toPlainText(), QStringLiteral("新版本"));
    // Only a finished apply registers the new directory.
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "installDir") == finishedDir(), err.isEmpty());
    if (!qEnvironmentVariableIsEmpty("SCREENSHOT_DIR"))
        window.grab().save(qEnvironmentVariable("SCREENSHOT_DIR") + QStringLiteral("/update-%1.png").arg(QTest::currentDataTag()));
}

void TstUpdateWindow::retryIntoTheSameDirectory()
{
    seed(QString(), QString(), false);
    publish({{"NimbraPVX.exe", "new client"}, {"a.dll", "a"}, {"b.dll", "b"}});
    server->addFault(QStringLiteral("status"), QStringLiteral("500"), QStringLiteral("b.dll"));
    Widget window(Reporter::plain(), limits);
    waitForEnd(window);
    QVERIFY(!sandbox::child<QLabel>(window, "err")->text().isEmpty());
    const QString dir = ::newDir;
    server->clearFaults();
    QTest::mouseClick(button(window, "update"), Qt::LeftButton);
    waitForEnd(window);
    QCOMPARE(sandbox::child<QLabel>(window, "err")->text(), QString());
    QCOMPARE(::newDir, dir);
    QCOMPARE(fileBytes(finishedDir() + QStringLiteral("/NimbraClient.exe")), QByteArray("new client"));
    QCOMPARE(fileBytes(finishedDir() + QStringLiteral("/b.dll")), QByteArray("b"));
}

// The window goes while a download trickles: the worker stops and its thread ends with it.
void TstUpdateWindow::closingDuringARun()
{
    seed(QString(), QString(), false);
    publish({{"NimbraPVX.exe", QByteArray(200000, 'c')}});
    server->addFault(QStringLiteral("slow"), QStringLiteral("20000"), QStringLiteral("NimbraPVX.exe"));
    {
        Widget window(Reporter::plain(), limits);
        window.show();
        QTRY_VERIFY(QDir(::newDir).exists());
        QVERIFY(!button(window, "update")->isEnabled());
    }
    // The file is not there; what came of it stays as a part for the next run to go on with.
    QStringList left = QDir(::newDir).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral("NimbraPVX.exe.part"));
    left.removeAll(QStringLiteral("NimbraPVX.exe.part.meta"));
    QCOMPARE(left, QStringList{QStringLiteral(".unfinished")});
}

void TstUpdateWindow::apply_data()
{
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("autorun");
    QTest::addColumn<bool>("bringsIcon");
    QTest::addColumn<QString>("folder");  // the new Start-menu folder; empty: -4
    QTest::newRow("standard") << "" << "" << true << false << "Nimbra";
    QTest::newRow("co-branded-english") << "KWRender" << "en_us" << false << false << "Nimbra";
    QTest::newRow("partner") << "OKARender" << "" << true << false << QStringLiteral("渲染云");
    QTest::newRow("partner-without-icon") << "ZZRender" << "" << true << false << "";
    QTest::newRow("partner-icon-in-release") << "ZZRender" << "" << true << true << QStringLiteral("渲染云");
}

void TstUpdateWindow::apply()
{
    QFETCH(QString, third);
    QFETCH(QString, lang);
    QFETCH(bool, autorun);
    QFETCH(bool, bringsIcon);
    QFETCH(QString, folder);
    seed(third, lang, autorun);
    const bool english = lang == QLatin1String("en_us");
    const QString name = english ? QStringLiteral("Render Cloud") : QStringLiteral("渲染云");
    const QString start = (english ? QStringLiteral("start ") : QStringLiteral("启动")) + name + QStringLiteral(".lnk");
    // The installer's links, in the partner's folder, which also holds a file of the user's.
    const QString oldFolder = startMenuDir() + QLatin1Char('/') + name;
    QDir().mkpath(oldFolder);
    QFile::link(installDir + QStringLiteral("/NimbraClient.exe"), oldFolder + QLatin1Char('/') + start);
    sandbox::writeFile(oldFolder + QStringLiteral("/Manual.txt"), "user's");
    QDir().mkpath(desktopDir());
    QFile::link(installDir + QStringLiteral("/NimbraClient.exe"), desktopDir() + QLatin1Char('/') + name + QStringLiteral(".lnk"));
    Files release{{"NimbraPVX.exe", fileBytes(QStringLiteral(PE_FIXTURE_DIR "/client.exe"))}, {"uninstall.exe", "u"}};
    if (bringsIcon)
        release.insert(QStringLiteral("ZQ.ico"), fileBytes(QStringLiteral(PE_FIXTURE_DIR "/seven32.ico")));
    publish(release);

    Widget window(Reporter::plain(), limits);
    waitForEnd(window);
    const QString dir = finishedDir();
    const QString client = dir + QStringLiteral("/NimbraClient.exe");
    QVERIFY(QFileInfo::exists(client) && !QFileInfo::exists(dir + QStringLiteral("/NimbraPVX.exe")));
    QVERIFY(QFileInfo::exists(installDir + QStringLiteral("/NimbraClient.exe")));
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "Publisher"), QStringLiteral("as installed"));
    if (folder.isEmpty()) {
        QCOMPARE(sandbox::valueOrAbsent(entryKey, "installDir"), installDir);
        QCOMPARE(sandbox::valueOrAbsent(settingsKey, "InstallDir"), installDir);
        QCOMPARE(sandbox::valueOrAbsent(runKey, "NimbraClient.exe"), QStringLiteral("old"));
        return;
    }
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "installDir"), dir);
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "DisplayVersion"), targetVersion);
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "UninstallString"), QStringLiteral("\"%1/uninstall.exe\"").arg(dir));
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "InstallLocation"), dir);
    QCOMPARE(sandbox::valueOrAbsent(entryKey, "DisplayIcon"), client);
    QCOMPARE(sandbox::valueOrAbsent(settingsKey, "InstallDir"), dir);
    QCOMPARE(sandbox::valueOrAbsent(runKey, "NimbraClient.exe"), autorun ? QLatin1Char('"') + client + QStringLiteral("\" RegAutoRun") : QStringLiteral("<absent>"));
    QCOMPARE(QFileInfo(startMenuDir() + QLatin1Char('/') + folder + QLatin1Char('/') + start).symLinkTarget(), client);
    QCOMPARE(QFileInfo(desktopDir() + QLatin1Char('/') + name + QStringLiteral(".lnk")).symLinkTarget(), client);
    QVERIFY(QFileInfo::exists(oldFolder + QStringLiteral("/Manual.txt")));
    // A branded client carries the edition's icon, which the release or the resources gave.
    QCOMPARE(peResources(client) != peResources(QStringLiteral(PE_FIXTURE_DIR "/client.exe")), !third.isEmpty());
}

QTEST_MAIN(TstUpdateWindow)
#include "tst_updatewindow.moc"
