#include "basewidget.h"
#include "peresources.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QScopedPointer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void setMachineValue(const QString &key, const QString &name, const QString &value)
{
    sandbox::setRegistryValue(QStringLiteral("HKEY_LOCAL_MACHINE\\") + key, name, value);
}

} // namespace

class TstSystemHelpers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void veryDelShortcutLeavesItsTarget();
    void veryDelReadOnlyFile();
    void veryDelTreeAndEmptiedParents();
    void veryDelEmptyAndMissingPaths();
    void allMaxPathInTableOrder();
    void readRegBufferLimit_data();
    void readRegBufferLimit();
    void shellFolders();

private:
    QScopedPointer<QTemporaryDir> tmp;
    QScopedPointer<BaseWidget> helpers;
};

void TstSystemHelpers::initTestCase()
{
    sandbox::writeZqIni(sandbox::programDir(), {{"exe", "c.exe"}});
    helpers.reset(new BaseWidget);
}

void TstSystemHelpers::init()
{
    tmp.reset(new QTemporaryDir);
    sandbox::clearRegistry();
}

void TstSystemHelpers::veryDelShortcutLeavesItsTarget()
{
    const QString target = tmp->filePath(QStringLiteral("client/NimbraClient.exe"));
    sandbox::writeFile(target, "client");
    const QFile::Permissions permissions = QFile::permissions(target);
    const QString shortcut = tmp->filePath(QStringLiteral("Desktop/Nimbra.lnk"));
    QDir().mkpath(tmp->filePath(QStringLiteral("Desktop")));
    QVERIFY(QFile::link(target, shortcut));

    helpers->veryDel(shortcut);
    QVERIFY(!QFileInfo(shortcut).isSymLink());
    QCOMPARE(fileBytes(target), QByteArray("client"));
    QCOMPARE(QFile::permissions(target), permissions);
    QVERIFY(QFileInfo(tmp->filePath(QStringLiteral("Desktop"))).isDir());
}

void TstSystemHelpers::veryDelReadOnlyFile()
{
    const QString file = tmp->filePath(QStringLiteral("readonly.txt"));
    sandbox::writeFile(file, "x");
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    helpers->veryDel(file);
    QVERIFY(!QFileInfo::exists(file));
}

void TstSystemHelpers::veryDelTreeAndEmptiedParents()
{
    // product/version/<tree>; the product folder holds nothing else, its parent does.
    const QString keep = tmp->filePath(QStringLiteral("Programs/other.txt"));
    const QString tree = tmp->filePath(QStringLiteral("Programs/NimbraPVX/2.1.0.07042"));
    sandbox::writeFile(keep, "keep");
    sandbox::writeFile(tree + QStringLiteral("/client.exe"), "c");
    sandbox::writeFile(tree + QStringLiteral("/plugins/a/b/deep.dll"), "d");
    sandbox::writeFile(tree + QStringLiteral("/.hidden"), "h");
    QDir().mkpath(tree + QStringLiteral("/empty/inner"));
    QFile::setPermissions(tree + QStringLiteral("/client.exe"), QFile::ReadOwner);

    helpers->veryDel(tree);
    QVERIFY(!QFileInfo::exists(tree));
    QVERIFY(!QFileInfo::exists(tmp->filePath(QStringLiteral("Programs/NimbraPVX"))));
    QCOMPARE(fileBytes(keep), QByteArray("keep"));
}

void TstSystemHelpers::veryDelEmptyAndMissingPaths()
{
    const QString emptyParent = tmp->filePath(QStringLiteral("empty-parent"));
    QDir().mkpath(emptyParent);
    helpers->veryDel(QString());
    helpers->veryDel(emptyParent + QStringLiteral("/missing"));
    QVERIFY(QFileInfo(emptyParent).isDir());
}

void TstSystemHelpers::allMaxPathInTableOrder()
{
    const QString sep = QDir::separator();
    auto install = [&](const QString &product, const QString &version, const QString &folder, bool scripts) {
        const QString dir = tmp->filePath(folder);
        QDir().mkpath(scripts ? dir + QStringLiteral("/scripts/Startup") : dir);
        setMachineValue(QStringLiteral("SOFTWARE\\Autodesk\\%1\\%2").arg(product, version),
                        QStringLiteral("Installdir"), QDir::toNativeSeparators(dir) + sep);
    };
    // Registered out of order; one without start-up scripts; one folder gone.
    install(QStringLiteral("3dsMax"), QStringLiteral("20.0"), QStringLiteral("max2018"), true);
    install(QStringLiteral("3dsMax"), QStringLiteral("18.0"), QStringLiteral("max2016"), true);
    install(QStringLiteral("3dsMaxDesign"), QStringLiteral("18.0"), QStringLiteral("design2016"), true);
    install(QStringLiteral("3dsMax"), QStringLiteral("19.0"), QStringLiteral("max2017"), false);
    install(QStringLiteral("3dsMax"), QStringLiteral("12.0\\MAX-1:804"), QStringLiteral("max2010"), true);
    setMachineValue(QStringLiteral("SOFTWARE\\Autodesk\\3dsMax\\21.0"), QStringLiteral("Installdir"),
                    tmp->filePath(QStringLiteral("gone/")));

    const QStringList expected{tmp->filePath(QStringLiteral("max2010/scripts/Startup")),
                               tmp->filePath(QStringLiteral("max2016/scripts/Startup")),
                               tmp->filePath(QStringLiteral("design2016/scripts/Startup")),
                               tmp->filePath(QStringLiteral("max2018/scripts/Startup"))};
    QCOMPARE(BaseWidget::allMaxPath(), expected);
    QCOMPARE(BaseWidget::maxInstallDir(2, QStringLiteral("18.0")),
             QDir::toNativeSeparators(tmp->filePath(QStringLiteral("design2016"))) + sep);
    QCOMPARE(BaseWidget::maxInstallDir(7, QStringLiteral("18.0")), BaseWidget::maxInstallDir(2, QStringLiteral("18.0")));
}

void TstSystemHelpers::readRegBufferLimit_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("read");

    QTest::newRow("exactly-512-units") << QString(512, QLatin1Char('x')) << QString(512, QLatin1Char('x'));
    QTest::newRow("513-units") << QString(513, QLatin1Char('y')) << QString();
    QTest::newRow("chinese") << QStringLiteral("D:\\软件\\3ds Max\\") << QStringLiteral("D:\\软件\\3ds Max\\");
    QTest::newRow("ends-at-nul") << QStringLiteral("ab") + QChar(0) + QStringLiteral("cd") << "ab";
    QTest::newRow("missing") << QString() << QString();
}

void TstSystemHelpers::readRegBufferLimit()
{
    QFETCH(QString, stored);
    QFETCH(QString, read);
    if (!stored.isNull())
        setMachineValue(QStringLiteral("SOFTWARE\\Autodesk\\3dsMax\\18.0"), QStringLiteral("Installdir"), stored);
    QCOMPARE(BaseWidget::readReg(QStringLiteral("SOFTWARE\\Autodesk\\3dsMax\\18.0"), QStringLiteral("Installdir")),
             read);
}

void TstSystemHelpers::shellFolders()
{
    QCOMPARE(helpers->desktopPath(), QDir::homePath() + QStringLiteral("/Desktop"));
    QCOMPARE(helpers->startMenuPath(), qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications"));
}

QTEST_MAIN(TstSystemHelpers)
#include "tst_systemhelpers.moc"
