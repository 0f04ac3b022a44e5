#include "archive.h"
#include "entrywriter.h"
#include "extractdir.h"

#include <QDir>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using Entries = QList<archive::Entry>;
Q_DECLARE_METATYPE(Entries)

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Every file below root, relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace

class TstExtractDir : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void nestedFoldersAndDirectoryEntries();
    void storedPermissionsApplied();
    void existingFileOverwritten();
    void nonAsciiNames();
    void notifiesOncePerNameChange();
    void brokenArchives_data();
    void brokenArchives();
    void corruptEntryRollsBack();
    void escapingNameFailsWhole_data();
    void escapingNameFailsWhole();
    void entryTargetKeepsInsideNames_data();
    void entryTargetKeepsInsideNames();
    void namesWithoutUtf8Flag_data();
    void namesWithoutUtf8Flag();
    void linksInTargetNotFollowed_data();
    void linksInTargetNotFollowed();

private:
    QStringList extract(const Entries &entries);

    QScopedPointer<QTemporaryDir> tmp;
    // The reader waits for the writer after every few bytes: a lost wake-up hangs here.
    const qint64 queuedBytes = 4;
    QString zipPath;
    QString dest;
    QObject notifier;
};

void TstExtractDir::init()
{
    tmp.reset(new QTemporaryDir);
    zipPath = tmp->filePath(QStringLiteral("files.zip"));
    dest = tmp->filePath(QStringLiteral("out/NimbraPVX/2.1.0.07042"));
}

QStringList TstExtractDir::extract(const Entries &entries)
{
    if (!archive::write(zipPath, entries))
        qWarning() << "could not write the test archive";
    return PVXextractDir(zipPath, dest, &notifier, queuedBytes);
}

void TstExtractDir::nestedFoldersAndDirectoryEntries()
{
    const QStringList result = extract({{"bin/", {}}, {"bin/plugins/x/deep.dll", "dll"}, {"top.exe", "exe"},
                                        {"empty/", {}}, {"no/dir/entry/file.txt", "txt"}});
    QCOMPARE(result.size(), 5);
    QCOMPARE(result[1], QDir(dest).absoluteFilePath(QStringLiteral("bin/plugins/x/deep.dll")));
    QCOMPARE(readAll(dest + QStringLiteral("/bin/plugins/x/deep.dll")), QByteArray("dll"));
    QCOMPARE(readAll(dest + QStringLiteral("/no/dir/entry/file.txt")), QByteArray("txt"));
    QVERIFY(QFileInfo(dest + QStringLiteral("/empty")).isDir());
}

void TstExtractDir::storedPermissionsApplied()
{
    const auto exec = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser
                      | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
    QCOMPARE(extract({{"run.sh", "#!/bin/sh\n", exec}, {"secret.txt", "s", ownerOnly}, {"plain.txt", "p"}}).size(), 3);
    QCOMPARE(QFile::permissions(dest + QStringLiteral("/run.sh")), exec);
    QCOMPARE(QFile::permissions(dest + QStringLiteral("/secret.txt")), ownerOnly);
    QVERIFY(QFile::permissions(dest + QStringLiteral("/plain.txt")) & QFile::ReadOwner);
}

void TstExtractDir::existingFileOverwritten()
{
    QDir().mkpath(dest);
    QFile old(dest + QStringLiteral("/client.exe"));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older and much longer content");
    old.close();
    QCOMPARE(extract({{"client.exe", "new"}}).size(), 1);
    QCOMPARE(readAll(dest + QStringLiteral("/client.exe")), QByteArray("new"));
}

void TstExtractDir::nonAsciiNames()
{
    const QString name = QStringLiteral("插件/渲染器 ü.dll");
    QCOMPARE(extract({{name, "x"}}).size(), 1);
    QCOMPARE(readAll(dest + QLatin1Char('/') + name), QByteArray("x"));
}

void TstExtractDir::notifiesOncePerNameChange()
{
    QSignalSpy spy(&notifier, &QObject::objectNameChanged);
    const QStringList result = extract({{"a/", {}}, {"a/x.txt", "1"}, {"a/x.txt", "2"}, {"b.txt", "3"}});
    QCOMPARE(result.size(), 4);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(2).at(0).toString(), QStringLiteral("b.txt"));
    QCOMPARE(readAll(dest + QStringLiteral("/a/x.txt")), QByteArray("2"));
}

void TstExtractDir::brokenArchives_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not-a-zip") << QByteArray("this is not an archive");
    QTest::newRow("no-entries") << QByteArray("PK\x05\x06" + QByteArray(18, '\0'));
}

void TstExtractDir::brokenArchives()
{
    QFETCH(QByteArray, bytes);
    if (!bytes.isEmpty()) {
        QFile file(zipPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QVERIFY(PVXextractDir(zipPath, dest, &notifier, queuedBytes).isEmpty());
    QVERIFY(!QFileInfo::exists(dest));
}

void TstExtractDir::corruptEntryRollsBack()
{
    QVERIFY(archive::write(zipPath, {{"first/one.txt", "1"}, {"two.txt", "2"},
                                     {"middle.bin", "MIDDLE-ENTRY-CONTENT", {}, true}, {"last.txt", "4"}}));
    QVERIFY(archive::damage(zipPath, "MIDDLE-ENTRY-CONTENT"));
    QSignalSpy spy(&notifier, &QObject::objectNameChanged);

    QVERIFY(PVXextractDir(zipPath, dest, &notifier, queuedBytes).isEmpty());
    QCOMPARE(filesBelow(dest), QStringList());
    QVERIFY(QFileInfo(dest + QStringLiteral("/first")).isDir());
    QCOMPARE(spy.count(), 2);
}

void TstExtractDir::escapingNameFailsWhole_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("parent") << "../evil.txt";
    QTest::newRow("climbs-after-folder") << "a/../../evil.txt";
    QTest::newRow("climbs-far") << "a/b/../../../../evil.txt";
    QTest::newRow("absolute") << QDir::tempPath() + QStringLiteral("/evil.txt");
    QTest::newRow("unc") << "//server/share/evil.txt";
    QTest::newRow("unc-backslash") << "\\\\server\\share\\evil.txt";
    QTest::newRow("drive") << "C:/evil.txt";
    QTest::newRow("drive-relative") << "C:evil.txt";
    QTest::newRow("stream") << "client.exe:hidden";
    QTest::newRow("backslash-parent") << "..\\evil.txt";
    QTest::newRow("backslash-climb") << "a\\..\\..\\evil.txt";
    QTest::newRow("root-backslash") << "\\evil.txt";
    QTest::newRow("dot-dot-folder") << "../";
    QTest::newRow("the-target-itself") << "a/../";
    // Names Windows alters or opens as devices: the same package must give the same files everywhere.
    QTest::newRow("device") << "CON";
    QTest::newRow("device-with-extension") << "bin/nul.dll";
    QTest::newRow("device-numbered") << "COM1.log";
    QTest::newRow("device-printer-folder") << "LPT9/a.txt";
    QTest::newRow("trailing-dot") << "a.txt.";
    QTest::newRow("trailing-blank") << "a.txt ";
    QTest::newRow("folder-trailing-dot") << "bin./a.txt";
}

void TstExtractDir::escapingNameFailsWhole()
{
    QFETCH(QString, name);
    const QString outside = tmp->filePath(QStringLiteral("out/NimbraPVX/evil.txt"));

    QVERIFY(extract({{"good.txt", "good"}, {name, "evil"}, {"after.txt", "after"}}).isEmpty());
    QCOMPARE(filesBelow(tmp->path()), QStringList{"files.zip"});
    QVERIFY(!QFileInfo::exists(outside));
    QVERIFY(!QFileInfo::exists(QDir::tempPath() + QStringLiteral("/evil.txt")));
}

void TstExtractDir::entryTargetKeepsInsideNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "a.txt";
    QTest::newRow("climbs-back-in") << "a/../b.txt";
    QTest::newRow("dots-in-name") << "a..b/..c";
    QTest::newRow("current-dir") << "./a.txt";
}

void TstExtractDir::entryTargetKeepsInsideNames()
{
    QFETCH(QString, name);
    QCOMPARE(entryTarget(dest, name), QDir(dest).absoluteFilePath(name));
}

using Names = QList<QByteArray>;

// Raw names without the UTF-8 flag: UTF-8 when valid, else GBK; two raw names that come
// out as one file fail the whole extraction.
void TstExtractDir::namesWithoutUtf8Flag_data()
{
    QTest::addColumn<Names>("raw");
    QTest::addColumn<QStringList>("files");
    QTextCodec *gbk = QTextCodec::codecForName("GBK");
    QTest::newRow("gbk") << Names{gbk->fromUnicode(QStringLiteral("星云渲染.txt")), gbk->fromUnicode(QStringLiteral("渲染云/说明.txt"))}
                         << QStringList{QStringLiteral("星云渲染.txt"), QStringLiteral("渲染云/说明.txt")};
    QTest::newRow("utf-8") << Names{QStringLiteral("星云渲染.txt").toUtf8()} << QStringList{QStringLiteral("星云渲染.txt")};
    QTest::newRow("gbk-and-utf-8-of-one-name") << Names{gbk->fromUnicode(QStringLiteral("渲染云.txt")), QStringLiteral("渲染云.txt").toUtf8()}
                                               << QStringList();
    QTest::newRow("gbk-names-that-differ") << Names{gbk->fromUnicode(QStringLiteral("星.txt")), gbk->fromUnicode(QStringLiteral("云.txt"))}
                                           << QStringList{QStringLiteral("云.txt"), QStringLiteral("星.txt")};
}

void TstExtractDir::namesWithoutUtf8Flag()
{
    QFETCH(Names, raw);
    QFETCH(QStringList, files);
    Entries entries;
    for (const QByteArray &name : raw)
        entries.append({QString::fromLatin1(name), name});
    QVERIFY(archive::write(zipPath, entries, "ISO-8859-1"));
    QCOMPARE(PVXextractDir(zipPath, dest, &notifier, queuedBytes).size(), files.size());
    QCOMPARE(filesBelow(dest), files);
}

void TstExtractDir::linksInTargetNotFollowed_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("pointsAt");
    QTest::newRow("link-at-a-file") << "bin/a.dll" << "victim.dll";
    QTest::newRow("link-at-a-folder") << "bin" << ".";
}

// A product folder that earlier installs opened to every user may hold links; the
// elevated installer must not write through them.
void TstExtractDir::linksInTargetNotFollowed()
{
    QFETCH(QString, link);
    QFETCH(QString, pointsAt);
    const QString outside = tmp->filePath(QStringLiteral("outside"));
    QDir().mkpath(outside);
    QFile victim(outside + QStringLiteral("/victim.dll"));
    QVERIFY(victim.open(QIODevice::WriteOnly));
    victim.write("victim");
    victim.close();
    QDir().mkpath(QFileInfo(dest + QLatin1Char('/') + link).absolutePath());
    QVERIFY(QFile::link(outside + QLatin1Char('/') + pointsAt, dest + QLatin1Char('/') + link));

    QVERIFY(extract({{"bin/a.dll", "new"}}).isEmpty());
    QCOMPARE(filesBelow(outside), QStringList{"victim.dll"});
    QCOMPARE(readAll(outside + QStringLiteral("/victim.dll")), QByteArray("victim"));
}

QTEST_GUILESS_MAIN(TstExtractDir)
#include "tst_extractdir.moc"
