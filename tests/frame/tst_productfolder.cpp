#include "productfolder.h"

#include <QDir>
#include <QtTest>

// Which folders the uninstaller may remove as a whole: only the product folder that
// holds an installation directory, checked on the path alone (nothing is removed here).
class TstProductFolder : public QObject
{
    Q_OBJECT

private slots:
    void ownProductFolder_data();
    void ownProductFolder();
};

void TstProductFolder::ownProductFolder_data()
{
    QTest::addColumn<QString>("installDir");
    QTest::addColumn<QString>("productDir");

    const QString root = QDir::rootPath();
    QTest::newRow("standard") << root + "opt/Nimbra/NimbraPVX/2.1.0.07042" << root + "opt/Nimbra/NimbraPVX";
    QTest::newRow("co-branded") << root + "opt/Nimbra/Nimbra for Unity/2.1.0.1" << root + "opt/Nimbra/Nimbra for Unity";
    QTest::newRow("native-separators") << QDir::toNativeSeparators(root + "opt/NimbraPVX/2.1.0/") << root + "opt/NimbraPVX";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blank") << "  " << "";
    QTest::newRow("root") << root << "";
    QTest::newRow("product-folder-is-root") << root + "2.1.0" << "";
    QTest::newRow("product-folder-at-root") << root + "NimbraPVX" << "";
    QTest::newRow("other-folder") << root + "opt/Tools/2.1.0" << "";
    QTest::newRow("lower-case") << root + "opt/nimbrapvx/2.1.0" << "";
    QTest::newRow("relative") << "NimbraPVX/2.1.0" << "";
    QTest::newRow("climbs-back") << root + "opt/NimbraPVX/2.1.0/../../x/y" << "";
}

void TstProductFolder::ownProductFolder()
{
    QFETCH(QString, installDir);
    QFETCH(QString, productDir);
    QCOMPARE(::ownProductFolder(installDir), productDir);
}

QTEST_GUILESS_MAIN(TstProductFolder)
#include "tst_productfolder.moc"
