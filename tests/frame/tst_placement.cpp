#include "clientplacement.h"
#include "edition.h"
#include "peresources.h"
#include "rebranding.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

// The placement steps in-process, for every edition, as the installer and the updater
// run them, from whatever a run before left: nothing, half, or everything done. Each
// ends in the same place, with the folder open but the administrators' files closed,
// and removal takes away exactly what placement made.
class TstPlacement : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void converges_data();
    void converges();
};

void TstPlacement::cleanup()
{
    sandbox::clearRegistry();
    QDir(QDir::tempPath() + QStringLiteral("/pf")).removeRecursively();
    QDir(sandbox::startMenuDir()).removeRecursively();
    QDir(sandbox::desktopDir()).removeRecursively();
}

void TstPlacement::converges_data()
{
    QTest::addColumn<QString>("third");
    QTest::addColumn<bool>("update");
    QTest::addColumn<QString>("found");
    for (const char *third : {"", "KWRender", "OKARender"}) {
        for (const bool update : {false, true}) {
            for (const char *found : {"nothing", "half", "done"})
                QTest::addRow("%s-%s-%s", *third ? third : "standard", update ? "update" : "install", found)
                    << QString::fromLatin1(third) << update << QString::fromLatin1(found);
        }
    }
}

void TstPlacement::converges()
{
    QFETCH(QString, third);
    QFETCH(bool, update);
    QFETCH(QString, found);
    if (!QFileInfo::exists(QStringLiteral(PE_FIXTURE_DIR "/client.exe")))
        QSKIP("no PE fixtures (mingw-w64 missing)");

    ClientConfig client;
    client.exe = QStringLiteral("NimbraClient.exe");
    client.name = QStringLiteral("星云");
    client.nameEN = QStringLiteral("Cloud");
    client.third = third;
    client.registryKey = edition::registryKey(editionOf(third));
    const QString product = QDir::tempPath() + QStringLiteral("/pf/") + edition::productFolder(editionOf(third));
    const Placement p{client, QDir::toNativeSeparators(product + QStringLiteral("/2.2.0.00001")), QStringLiteral("2.2.0"),
                      update ? Placement::Kind::Update : Placement::Kind::Install};
    QVERIFY(QDir().mkpath(p.dir));
    QVERIFY(QFile::copy(QStringLiteral(PE_FIXTURE_DIR "/client.exe"), p.dir + QStringLiteral("/NimbraPVX.exe")));
    sandbox::setRegistryValue(sandbox::runKey(), client.exe, QStringLiteral("\"old.exe\" RegAutoRun"));
    sandbox::setRegistryValue(sandbox::uninstallKey(QStringLiteral("OtherApp")), QStringLiteral("DisplayName"),
                              QStringLiteral("Other"));
    const QString icon = QStringLiteral(PE_FIXTURE_DIR "/seven32.ico");
    const auto place = [&] {
        for (const Outcome step : {placement::nameClient(p), placement::brandClient(p, icon),
                                   placement::placeShortcuts(p), placement::registerClient(p)})
            QCOMPARE(step, Outcome::Done);
    };
    QByteArray placed;
    if (found == QLatin1String("done")) {
        place();
        // Signed as it stands: placing it again must not rewrite it.
        QVERIFY(appendCertificateTable(p.clientExe()));
        placed = fileBytes(p.clientExe());
    }
    if (found == QLatin1String("half")) {
        // Killed after naming: the release's client came again, a shortcut is there
        // already. The new one carries the edition's name but not its icon.
        QVERIFY(QFile::copy(p.dir + QStringLiteral("/NimbraPVX.exe"), p.clientExe()));
        helpers::changeFileInfo(p.dir + QStringLiteral("/NimbraPVX.exe"), p.displayName());
        QVERIFY(QDir().mkpath(sandbox::desktopDir()));
        QVERIFY(QFile::link(QStringLiteral("/elsewhere"), sandbox::desktopDir() + QStringLiteral("/星云.lnk")));
    }
    place();
    // Read back by wrestool: the icon images are the edition's, not the shipped ones.
    const auto icons = [](const QString &exe) {
        QMap<QString, QByteArray> resources = peResources(exe);
        for (const QString &key : resources.keys()) {
            if (!key.startsWith(QLatin1String("3/")))
                resources.remove(key);
        }
        return resources;
    };
    QVERIFY(third.isEmpty() || icons(p.clientExe()) != icons(QStringLiteral(PE_FIXTURE_DIR "/client.exe")));
    QVERIFY(placed.isEmpty() || fileBytes(p.clientExe()) == placed);
    for (const char *name : {"uninstall.exe", "service.ini"})
        sandbox::writeFile(p.dir + QLatin1Char('/') + QLatin1String(name), "x");
    QCOMPARE(placement::openToAllUsers(p), Outcome::Done);

    // Open to all, but not what runs with administrator rights or says where to update from.
    QVERIFY(QFileInfo(p.clientExe()).permissions() & QFile::WriteOther);
    for (const char *name : {"uninstall.exe", "service.ini"})
        QVERIFY(!(QFileInfo(p.dir + QLatin1Char('/') + QLatin1String(name)).permissions() & QFile::WriteOther));
    QVERIFY(!QFileInfo::exists(p.dir + QStringLiteral("/NimbraPVX.exe")));
    QCOMPARE(QFileInfo(sandbox::desktopDir() + QStringLiteral("/星云.lnk")).symLinkTarget(), p.clientExe());
    QCOMPARE(sandbox::registryValue(sandbox::uninstallKey(client.registryKey), QStringLiteral("installDir")), p.dir);
    QCOMPARE(sandbox::registryValue(sandbox::settingsKey(client.registryKey), QStringLiteral("InstallDir")), p.dir);
    QCOMPARE(sandbox::registryValue(sandbox::runKey(), client.exe), QLatin1Char('"') + p.clientExe() + QStringLiteral("\" RegAutoRun"));

    placement::removeShortcuts(p);
    QCOMPARE(placement::unregisterClient(p), Outcome::Done);
    QVERIFY(QDir(sandbox::desktopDir()).isEmpty());
    QCOMPARE(sandbox::valueOrAbsent(sandbox::uninstallKey(client.registryKey), QStringLiteral("installDir")),
             QStringLiteral("<absent>"));
    QCOMPARE(sandbox::valueOrAbsent(sandbox::runKey(), client.exe), QStringLiteral("<absent>"));
    QCOMPARE(sandbox::registryValue(sandbox::uninstallKey(QStringLiteral("OtherApp")), QStringLiteral("DisplayName")),
             QStringLiteral("Other"));
}

QTEST_MAIN(TstPlacement)
#include "tst_placement.moc"
