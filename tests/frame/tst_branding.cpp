#include "basewidget.h"
#include "iconfile.h"
#include "peresources.h"
#include "versioninfo.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(PE_FIXTURE_DIR "/") + name;
}

// The version strings of an executable's first version resource, "table\name=value".
QStringList versionStrings(const QString &exe)
{
    const QMap<QString, QByteArray> resources = peResources(exe);
    QStringList strings;
    for (auto it = resources.cbegin(); it != resources.cend(); ++it) {
        if (!it.key().startsWith(QLatin1String("16/")))
            continue;
        pe::VersionNode root;
        const QByteArray &block = it.value();
        if (!pe::parseVersionInfo(reinterpret_cast<const std::uint8_t *>(block.constData()), std::size_t(block.size()),
                                  &root))
            return {QStringLiteral("<unreadable>")};
        for (const pe::VersionNode &table : root.child(u"StringFileInfo")->children) {
            for (const pe::VersionNode &s : table.children)
                strings << QString::fromStdU16String(table.key + u"\\" + s.key + u"=" + pe::textOf(s));
        }
        break;
    }
    return strings;
}

QMap<QString, QByteArray> without(QMap<QString, QByteArray> resources, const QString &typePrefix)
{
    for (const QString &key : resources.keys()) {
        if (key.startsWith(typePrefix))
            resources.remove(key);
    }
    return resources;
}

} // namespace

// The portable branding path: the PE file edited by our own code, read back by wrestool.
class TstBranding : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void icon_data();
    void icon();
    void iconFileMissing();
    void description_data();
    void description();
    void brokenExecutablesLeftAlone_data();
    void brokenExecutablesLeftAlone();

private:
    QString copyOf(const QString &name);
    QTemporaryDir dir;
};

void TstBranding::initTestCase()
{
    if (!QFile::exists(fixture(QStringLiteral("client.exe"))))
        QSKIP("no PE fixtures (mingw-w64 missing)");
}

QString TstBranding::copyOf(const QString &name)
{
    const QString copy = dir.filePath(QStringLiteral("%1-%2").arg(QTest::currentDataTag(), name));
    QFile::remove(copy);
    QFile::copy(fixture(name), copy);
    return copy;
}

void TstBranding::icon_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("icon");
    QTest::addColumn<QList<int>>("images");  // file index of the image for ids 7, 6, ... 1

    QTest::newRow("seven") << "client.exe" << "seven32.ico" << QList<int>{0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("ten-among-8-bit") << "client.exe" << "ten32.ico" << QList<int>{4, 5, 7, 8, 9, 10, 11};
    QTest::newRow("three") << "client.exe" << "three32.ico" << QList<int>{0, 1, 2, 2, 2, 2, 2};
    QTest::newRow("no-32-bit") << "client.exe" << "none32.ico" << QList<int>();
    QTest::newRow("pe32plus-grows") << "client64.exe" << "ten32.ico" << QList<int>{4, 5, 7, 8, 9, 10, 11};
    QTest::newRow("pe32plus-shrinks") << "client64.exe" << "three32.ico" << QList<int>{0, 1, 2, 2, 2, 2, 2};
}

void TstBranding::icon()
{
    QFETCH(QString, exe);
    QFETCH(QString, icon);
    QFETCH(QList<int>, images);

    exe = copyOf(exe);
    const QMap<QString, QByteArray> before = peResources(exe);
    const QByteArray original = fileBytes(exe);
    const QString iconPath = fixture(icon);

    const bool result = BaseWidget::ChangeExeIcon(iconPath.utf16(), exe.utf16());
    QCOMPARE(result, !images.isEmpty());
    if (images.isEmpty()) {
        QCOMPARE(fileBytes(exe), original);
        return;
    }
    const QMap<QString, QByteArray> after = peResources(exe);
    const QList<QByteArray> iconImages = iconFileImages(iconPath);
    for (int j = 0; j < 7; ++j)
        QCOMPARE(after.value(QStringLiteral("3/%1/1033").arg(7 - j)), iconImages.at(images.at(j)));
    QCOMPARE(without(after, QStringLiteral("3/")), without(before, QStringLiteral("3/")));
    QCOMPARE(after.size(), before.size());
}

void TstBranding::iconFileMissing()
{
    const QString exe = dir.filePath(QStringLiteral("missing-icon.exe"));
    QFile::copy(fixture(QStringLiteral("client.exe")), exe);
    const QString icon = dir.filePath(QStringLiteral("nowhere.ico"));
    QVERIFY(!BaseWidget::ChangeExeIcon(icon.utf16(), exe.utf16()));
    QCOMPARE(fileBytes(exe), fileBytes(fixture(QStringLiteral("client.exe"))));
}

void TstBranding::description_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("changes");

    QTest::newRow("same-length") << "client.exe" << QStringLiteral("渲染云 客户端") << 1 << true;
    QTest::newRow("shorter") << "client.exe" << QStringLiteral("渲染云") << 1 << true;
    QTest::newRow("longer") << "client.exe" << QStringLiteral("渲染云 客户端 — partner edition, a much longer text")
                            << 1 << true;
    QTest::newRow("other-table") << "othertable.exe" << QStringLiteral("渲染云") << 1 << false;
    QTest::newRow("no-version") << "noversion.exe" << QStringLiteral("渲染云") << 0 << false;
    QTest::newRow("pe32plus-longer") << "client64.exe" << QStringLiteral("渲染云 客户端 — partner edition, longer")
                                     << 1 << true;
}

void TstBranding::description()
{
    QFETCH(QString, exe);
    QFETCH(QString, text);
    QFETCH(int, result);
    QFETCH(bool, changes);

    const QString copy = copyOf(exe);
    const QStringList before = versionStrings(copy);
    const QMap<QString, QByteArray> resourcesBefore = peResources(copy);

    QCOMPARE(BaseWidget::ChangeFileInfo(copy, text), result);
    if (!result) {
        QCOMPARE(fileBytes(copy), fileBytes(fixture(exe)));
        return;
    }
    QStringList expected = before;
    if (changes) {
        const int at = expected.indexOf(QRegularExpression(QStringLiteral("^080404B0\\\\FileDescription=.*")));
        expected[at] = QStringLiteral("080404B0\\FileDescription=") + text;
    }
    QCOMPARE(versionStrings(copy), expected);
    QCOMPARE(without(peResources(copy), QStringLiteral("16/")), without(resourcesBefore, QStringLiteral("16/")));
    if (!changes)
        QCOMPARE(peResources(copy), resourcesBefore);
}

void TstBranding::brokenExecutablesLeftAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray client = fileBytes(fixture(QStringLiteral("client.exe")));
    QTest::newRow("not-pe") << QByteArray("#!/bin/sh\necho not a program\n");
    QTest::newRow("headers-only") << client.left(1024);
    QTest::newRow("cut-in-resources") << client.left(0x3800 + 0x2000);
    QByteArray badDirectory = client;
    badDirectory.replace(0x3800 + 12, 4, QByteArray("\xff\xff\xff\xff", 4));
    QTest::newRow("resource-directory-garbage") << badDirectory;
}

void TstBranding::brokenExecutablesLeftAlone()
{
    QFETCH(QByteArray, bytes);
    const QString exe = dir.filePath(QStringLiteral("broken-%1.exe").arg(QTest::currentDataTag()));
    QFile file(exe);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const QString icon = fixture(QStringLiteral("seven32.ico"));

    QCOMPARE(BaseWidget::ChangeFileInfo(exe, QStringLiteral("渲染云")), 0);
    QVERIFY(BaseWidget::ChangeExeIcon(icon.utf16(), exe.utf16()));
    QCOMPARE(fileBytes(exe), bytes);
}

QTEST_GUILESS_MAIN(TstBranding)
#include "tst_branding.moc"
