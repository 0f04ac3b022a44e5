#include "fakeprocess.h"
#include "peresources.h"
#include "registry.h"
#include "sandbox.h"
#include "selfdelete.h"
#include "widget.h"

#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedPointer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

namespace {

void setValue(const QString &key, const QString &name, const QString &value)
{
    sandbox::setRegistryValue(key, name, value);
}

QString value(const QString &key, const QString &name)
{
    return sandbox::registryValue(key, name, QStringLiteral("<gone>"));
}

const QString runKey = sandbox::runKey();
const QString company = QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan");
const QString exeName = QStringLiteral("NimbraClientStub.exe");

struct Edition
{
    QString third;
    QString lang;
    QString name;
    QString nameEN;
};

} // namespace

// The removal in a sandbox seeded as an installation leaves it.
class TstRemoval : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void standardEditionRemovesWhatIsNamed();
    void englishPartnerShortcuts();
    void coBrandedEditionRunsUnitydel();
    void emptyNameKeepsShortcuts();
    void runningClientIsKilled();
    void foreignInstallDirIsKept_data();
    void foreignInstallDirIsKept();
    void scriptRemovesProductFolderAfterExit();
    void closeBeforeRemovalLeavesAll();
    void onlyOursIsRemoved_data();
    void onlyOursIsRemoved();

private:
    void seed(const Edition &edition, const QString &programs = QStringLiteral("Programs/Nimbra"));
    void configure(const Edition &edition);
    QString path(const QString &relative) const { return root->filePath(relative); }
    QString shortcut(const QString &folder, const QString &file) const;
    QList<int> removeWith(Widget &window);

    QScopedPointer<QTemporaryDir> root;
    QString installDir;
    QString productDir;
    QStringList mustStay;
    QStringList mustGo;
};

void TstRemoval::init()
{
    root.reset(new QTemporaryDir);
    mustStay.clear();
    mustGo.clear();
    sandbox::clearRegistry();
    QFile::remove(platform::selfDeleteScript());
    for (const QString &dir : {QStandardPaths::writableLocation(QStandardPaths::DesktopLocation),
                               QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation)})
        QDir(dir).removeRecursively();
}

void TstRemoval::cleanup()
{
    BaseWidget::languageFlag = true;
}

QString TstRemoval::shortcut(const QString &folder, const QString &file) const
{
    const QString base = folder.isNull() ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                                         : QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation)
                                               + QLatin1Char('/') + folder;
    return base + QLatin1Char('/') + file;
}

void TstRemoval::configure(const Edition &edition)
{
    sandbox::writeZqIni(sandbox::programDir(), {{"exe", exeName}, {"name", edition.name}, {"nameEN", edition.nameEN},
                                                 {"third", edition.third}, {"lang", edition.lang}});
    BaseWidget config;
    config.isChinese();
}

// An installation as the installer leaves it, next to things that are not ours.
void TstRemoval::seed(const Edition &edition, const QString &programs)
{
    const QString key = edition.third == QLatin1String("KWRender") ? QStringLiteral("NimbraKW") : QStringLiteral("NimbraPVX");
    const QString product = edition.third == QLatin1String("KWRender") ? QStringLiteral("Nimbra for Unity") : key;
    productDir = path(programs + QLatin1Char('/') + product);
    installDir = productDir + QStringLiteral("/2.1.0.07042");
    const QString client = installDir + QLatin1Char('/') + exeName;
    sandbox::writeFile(client, "client");
    sandbox::writeFile(installDir + QStringLiteral("/plugins/render.dll"), "dll");
    sandbox::writeFile(path(programs + QStringLiteral("/OtherProduct/keep.txt")), "keep");
    mustGo << installDir;
    mustStay << path(programs + QStringLiteral("/OtherProduct/keep.txt"));

    const bool zh = edition.lang != QLatin1String("en_us");
    const QString name = zh ? edition.name : edition.nameEN;
    const bool partner = !edition.third.isEmpty() && edition.third != QLatin1String("KWRender");
    const QString folder = partner ? name : QStringLiteral("Nimbra");
    for (const QString &link : {shortcut(folder, (zh ? QStringLiteral("启动") : QStringLiteral("start ")) + name + ".lnk"),
                                shortcut(folder, (zh ? QStringLiteral("卸载") : QStringLiteral("uninstall ")) + name + ".lnk"),
                                shortcut(QString(), name + ".lnk")}) {
        QDir().mkpath(QFileInfo(link).absolutePath());
        QFile::link(client, link);
        mustGo << link;
    }
    sandbox::writeFile(shortcut(folder, QStringLiteral("Manual.lnk")), "other");
    sandbox::writeFile(shortcut(QString(), QStringLiteral("Other.lnk")), "other");
    mustStay << shortcut(folder, QStringLiteral("Manual.lnk")) << shortcut(QString(), QStringLiteral("Other.lnk"));

    setValue(sandbox::uninstallKey(key), QStringLiteral("installDir"), QDir::toNativeSeparators(installDir));
    setValue(sandbox::uninstallKey(key), QStringLiteral("DisplayName"), name);
    setValue(sandbox::uninstallKey(QStringLiteral("OtherApp")), QStringLiteral("DisplayName"), QStringLiteral("Other"));
    setValue(runKey, exeName, QDir::toNativeSeparators(client) + QStringLiteral(" RegAutoRun"));
    setValue(runKey, QStringLiteral("OtherApp.exe"), QStringLiteral("other"));
    setValue(sandbox::settingsKey(key), QStringLiteral("InstallDir"), installDir);
    setValue(company + QLatin1Char('\\') + key + QStringLiteral("\\Settings\\Deeper"), QStringLiteral("x"), QStringLiteral("1"));
    setValue(company + QStringLiteral("\\Orvix\\Settings"), QStringLiteral("InstallDir"), QStringLiteral("D:/orvix"));

    // 3ds Max 2016 and 2011 (a version with its own script), and 2017 installed below a
    // folder whose name has "2011" in it.
    const QList<QPair<QString, QString>> maxes{{"18.0", "Autodesk/3ds Max 2016/"},
                                               {"13.0\\MAX-1:804", "Autodesk/3ds Max 2011/"},
                                               {"19.0", "Tools2011/3ds Max 2017/"}};
    for (const auto &max : maxes) {
        setValue(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Autodesk\\3dsMax\\") + max.first, QStringLiteral("Installdir"),
                 QDir::toNativeSeparators(path(max.second)) + QDir::separator());
        for (const char *script : {"nimbraMenu.ms", "o_nimbraMenu.ms"})
            sandbox::writeFile(path(max.second) + QStringLiteral("scripts/Startup/") + QLatin1String(script), "ms");
    }
}

QList<int> TstRemoval::removeWith(Widget &window)
{
    window.installDir = QDir::toNativeSeparators(installDir);
    QList<int> values;
    QObject recording;  // the connection ends with this call
    connect(window.findChild<QProgressBar *>(), &QProgressBar::valueChanged, &recording, [&values](int v) { values << v; });
    window.show();
    window.doUninstall();
    return values;
}

void TstRemoval::standardEditionRemovesWhatIsNamed()
{
    const Edition edition{QString(), QString(), QStringLiteral("星云渲染"), QStringLiteral("Nimbra")};
    seed(edition);
    configure(edition);
    Widget window;
    QCOMPARE(removeWith(window), (QList<int>{10, 60, 40, 70, 100}));

    for (const QString &gone : qAsConst(mustGo))
        QVERIFY2(!QFileInfo::exists(gone) && !QFileInfo(gone).isSymLink(), qPrintable(gone));
    for (const QString &kept : qAsConst(mustStay))
        QVERIFY2(QFileInfo::exists(kept), qPrintable(kept));
    QCOMPARE(value(sandbox::uninstallKey(QStringLiteral("NimbraPVX")), QStringLiteral("installDir")), QStringLiteral("<gone>"));
    QCOMPARE(value(sandbox::uninstallKey(QStringLiteral("OtherApp")), QStringLiteral("DisplayName")), QStringLiteral("Other"));
    QCOMPARE(value(runKey, exeName), QStringLiteral("<gone>"));
    QCOMPARE(value(runKey, QStringLiteral("OtherApp.exe")), QStringLiteral("other"));
    QCOMPARE(value(company, QStringLiteral("NimbraPVX/Settings/Deeper/x")), QStringLiteral("<gone>"));
    QCOMPARE(value(company, QStringLiteral("Orvix/Settings/InstallDir")), QStringLiteral("D:/orvix"));

    QVERIFY(!QFileInfo::exists(path("Autodesk/3ds Max 2016/scripts/Startup/nimbraMenu.ms")));
    QVERIFY(QFileInfo::exists(path("Autodesk/3ds Max 2016/scripts/Startup/o_nimbraMenu.ms")));
    QVERIFY(!QFileInfo::exists(path("Autodesk/3ds Max 2011/scripts/Startup/o_nimbraMenu.ms")));
    QVERIFY(QFileInfo::exists(path("Autodesk/3ds Max 2011/scripts/Startup/nimbraMenu.ms")));
    QVERIFY(!QFileInfo::exists(path("Tools2011/3ds Max 2017/scripts/Startup/o_nimbraMenu.ms")));
    QVERIFY(QFileInfo::exists(path("Tools2011/3ds Max 2017/scripts/Startup/nimbraMenu.ms")));

    QVERIFY(window.uninstalled);
    QVERIFY(window.findChild<QProgressBar *>()->isHidden());
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("uninstall_ok"))->isVisible());
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("closeBtn"))->isVisible());
    QVERIFY(window.findChild<QPushButton *>(QStringLiteral("minBtn"))->isHidden());
}

void TstRemoval::englishPartnerShortcuts()
{
    const Edition edition{QStringLiteral("OKARender"), QStringLiteral("en_us"), QStringLiteral("渲染云"), QStringLiteral("Render Cloud")};
    seed(edition);
    // The Chinese names of the same edition are not looked for in an English interface.
    const QString chinese = shortcut(QStringLiteral("Render Cloud"), QStringLiteral("启动渲染云.lnk"));
    sandbox::writeFile(chinese, "zh");
    configure(edition);
    Widget window;
    removeWith(window);
    for (const QString &gone : qAsConst(mustGo))
        QVERIFY2(!QFileInfo::exists(gone) && !QFileInfo(gone).isSymLink(), qPrintable(gone));
    QVERIFY(QFileInfo::exists(chinese));
}

// The client lies in a folder other users may change: it runs with the rights of the user
// who started the removal (as root, the one sudo names; here nobody, who must reach it).
void TstRemoval::coBrandedEditionRunsUnitydel()
{
    const Edition edition{QStringLiteral("KWRender"), QString(), QStringLiteral("星云Unity"), QStringLiteral("Nimbra Unity")};
    seed(edition);
    const bool root = geteuid() == 0;
    const QByteArray user = root ? QByteArray("65534") : QByteArray::number(geteuid());
    if (root)
        qputenv("SUDO_UID", user);
    const QString marker = path("ran/unitydel-ran");
    QVERIFY(QDir().mkpath(path("ran")));
    QFile::setPermissions(path("ran"), QFile::Permissions(0x7777));
    const QString sandboxRoot = QFileInfo(QDir::tempPath()).absolutePath();
    for (QString dir = installDir; dir.startsWith(sandboxRoot); dir = QFileInfo(dir).absolutePath())
        QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther);
    sandbox::writeFile(installDir + QLatin1Char('/') + exeName,
                       "#!/bin/sh\necho \"$(id -u) $@\" > '" + marker.toUtf8() + "'\n");
    QFile::setPermissions(installDir + QLatin1Char('/') + exeName, QFile::Permissions(0x7755));
    configure(edition);
    Widget window;
    removeWith(window);
    qunsetenv("SUDO_UID");
    QCOMPARE(fileBytes(marker), user + " unitydel\n");
    QVERIFY(!QFileInfo::exists(installDir));
    QCOMPARE(value(company, QStringLiteral("NimbraKW/Settings/InstallDir")), QStringLiteral("<gone>"));
    for (const char *script : {"Autodesk/3ds Max 2016/scripts/Startup/nimbraMenu.ms",
                               "Autodesk/3ds Max 2011/scripts/Startup/o_nimbraMenu.ms"})
        QVERIFY2(QFileInfo::exists(path(script)), script);
}

void TstRemoval::emptyNameKeepsShortcuts()
{
    const Edition edition{QString(), QString(), QString(), QString()};
    seed(edition);
    configure(edition);
    Widget window;
    removeWith(window);
    QVERIFY(QFileInfo(shortcut(QStringLiteral("Nimbra"), QStringLiteral("启动.lnk"))).isSymLink());
    QVERIFY(QFileInfo(shortcut(QString(), QStringLiteral(".lnk"))).isSymLink());
    QVERIFY(!QFileInfo::exists(installDir));
}

void TstRemoval::runningClientIsKilled()
{
    const Edition edition{QString(), QString(), QStringLiteral("星云"), QStringLiteral("Nimbra")};
    seed(edition);
    configure(edition);
    FakeProcess client(path("running"), exeName);
    FakeProcess other(path("other"), QStringLiteral("OtherClient.exe"));
    Widget window;
    removeWith(window);
    QTRY_VERIFY(!client.isRunning());
    QVERIFY(other.isRunning());
}

void TstRemoval::foreignInstallDirIsKept_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty") << "empty";
    QTest::newRow("below-a-root") << "below-root";
    QTest::newRow("not-a-product-folder") << "foreign";
    QTest::newRow("relative") << "relative";
}

void TstRemoval::foreignInstallDirIsKept()
{
    QFETCH(QString, kind);
    const Edition edition{QString(), QString(), QStringLiteral("星云"), QStringLiteral("Nimbra")};
    seed(edition, QStringLiteral("MyApps"));
    const QString foreign = path("MyApps/Tools/2.1.0");
    sandbox::writeFile(foreign + QStringLiteral("/data.txt"), "mine");
    configure(edition);
    Widget window;
    removeWith(window);
    window.installDir = kind == QLatin1String("empty") ? QString()
                        // Never the root itself here: that case is checked without removing anything.
                        : kind == QLatin1String("below-root") ? QDir::rootPath() + QStringLiteral("NimbraPVX")
                        : kind == QLatin1String("relative") ? QStringLiteral("NimbraPVX/2.1.0")
                                                             : QDir::toNativeSeparators(foreign);
    // The run itself was told the real folder; now the window holds a doubtful one.
    window.uninstalled = false;
    window.doUninstall();
    window.close();
    QVERIFY(QFileInfo::exists(foreign + QStringLiteral("/data.txt")));
    QVERIFY(!QFileInfo::exists(platform::selfDeleteScript()));
    QVERIFY(QFileInfo::exists(path("MyApps/OtherProduct/keep.txt")));
}

void TstRemoval::scriptRemovesProductFolderAfterExit()
{
    const Edition edition{QString(), QString(), QStringLiteral("星云"), QStringLiteral("Nimbra")};
    seed(edition, QStringLiteral("Program Files/it's $HOME/Nimbra"));
    sandbox::writeFile(productDir + QStringLiteral("/2.0.0.11111/locked.dll"), "old version");
    configure(edition);
    {
        Widget window;
        removeWith(window);
        sandbox::writeFile(installDir + QStringLiteral("/uninstall"), "was in use");
        window.close();
        QVERIFY(QFileInfo::exists(platform::selfDeleteScript()));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(productDir), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(platform::selfDeleteScript()), 5000);
    QVERIFY(QFileInfo::exists(path("Program Files/it's $HOME/Nimbra/OtherProduct/keep.txt")));
}

void TstRemoval::closeBeforeRemovalLeavesAll()
{
    const Edition edition{QString(), QString(), QStringLiteral("星云"), QStringLiteral("Nimbra")};
    seed(edition);
    configure(edition);
    Widget window;
    window.installDir = QDir::toNativeSeparators(installDir);
    window.show();
    window.close();
    QVERIFY(!QFileInfo::exists(platform::selfDeleteScript()));
    for (const QString &kept : qAsConst(mustGo))
        QVERIFY2(QFileInfo::exists(kept), qPrintable(kept));
}

using Info = QMap<QString, QString>;

void TstRemoval::onlyOursIsRemoved_data()
{
    QTest::addColumn<bool>("hasIni");
    QTest::addColumn<Info>("ini");
    QTest::addColumn<QString>("ourKey");

    QTest::newRow("ini-without-exe") << true << Info{{"name", QStringLiteral("星云渲染")}} << "NimbraPVX";
    // No ZQ.ini and no record of this user: the program's folder names the co-branded key.
    QTest::newRow("no-record-co-branded-folder") << false << Info{} << "NimbraKW";
    QTest::newRow("exe-with-separator") << true << Info{{"exe", "../Tray.exe"}, {"name", "Nimbra"}} << "NimbraPVX";
    QTest::newRow("name-climbs-out") << true << Info{{"exe", exeName}, {"name", "../Notes"}} << "NimbraPVX";
    QTest::newRow("name-dot-dot") << true << Info{{"exe", exeName}, {"name", ".."}} << "NimbraPVX";
}

// Other programs' autorun values, the other edition's entry and settings, the folder the
// user installed into and files that a crafted name would reach all stay.
void TstRemoval::onlyOursIsRemoved()
{
    QFETCH(bool, hasIni);
    QFETCH(Info, ini);
    QFETCH(QString, ourKey);

    const QString chosen = path("Apps");
    installDir = chosen + (ourKey == QLatin1String("NimbraKW") ? "/Nimbra for Unity/2.1.0.1" : "/NimbraPVX/2.1.0.1");
    sandbox::writeFile(installDir + QLatin1Char('/') + exeName, "client");
    for (const QString &key : {QStringLiteral("NimbraPVX"), QStringLiteral("NimbraKW")}) {
        setValue(sandbox::uninstallKey(key), QStringLiteral("installDir"), QDir::toNativeSeparators(installDir));
        setValue(sandbox::settingsKey(key), QStringLiteral("Language"), QStringLiteral("zh_cn"));
    }
    const QStringList runValues{QStringLiteral("Tray.exe"), QStringLiteral("OtherUpdater.exe")};
    for (const QString &v : runValues)
        setValue(runKey, v, QStringLiteral("\"C:\\Other\\%1\"").arg(v));
    const QString notes = QDir::homePath() + QStringLiteral("/Notes.lnk");
    sandbox::writeFile(notes, "not ours");
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    sandbox::writeFile(desktop + QStringLiteral("/Other.lnk"), "not ours");

    if (hasIni)
        sandbox::writeZqIni(sandbox::programDir(), ini);
    else
        QFile::remove(sandbox::programDir() + QStringLiteral("/ZQ.ini"));
    {
        Widget window;
        removeWith(window);
    }
    sandbox::writeZqIni(sandbox::programDir(), {});

    const QString otherKey = ourKey == QLatin1String("NimbraKW") ? QStringLiteral("NimbraPVX") : QStringLiteral("NimbraKW");
    QCOMPARE(value(sandbox::uninstallKey(ourKey), QStringLiteral("installDir")), QStringLiteral("<gone>"));
    QCOMPARE(value(sandbox::settingsKey(ourKey), QStringLiteral("Language")), QStringLiteral("<gone>"));
    QVERIFY(value(sandbox::uninstallKey(otherKey), QStringLiteral("installDir")) != QStringLiteral("<gone>"));
    QCOMPARE(value(sandbox::settingsKey(otherKey), QStringLiteral("Language")), QStringLiteral("zh_cn"));
    for (const QString &v : runValues)
        QVERIFY2(value(runKey, v) != QStringLiteral("<gone>"), qPrintable(v));
    QVERIFY(!QFileInfo::exists(installDir));
    QVERIFY(!QFileInfo::exists(QFileInfo(installDir).absolutePath()));
    QVERIFY2(QFileInfo(chosen).isDir(), "the folder the user installed into went");
    QVERIFY(QFileInfo::exists(notes));
    QVERIFY(QFileInfo::exists(desktop + QStringLiteral("/Other.lnk")));
    QVERIFY(QFileInfo(desktop).isDir());
}

QTEST_MAIN(TstRemoval)
#include "tst_removal.moc"
