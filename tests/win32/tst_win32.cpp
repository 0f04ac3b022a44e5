#include "basewidget.h"
#include "peresources.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {


QString winePath(const QString &path)
{
    return QStringLiteral("Z:") + QDir::toNativeSeparators(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// The build of the suite and fixtures that runs, and the loader that starts it. The
// programs are 32-bit, so that build is preferred; kernels without IA32 emulation run
// only the 64-bit one. WIN32_SUITE_BITS=64 forces the 64-bit build.
struct WineBuild
{
    int bits;
    QString loader;
    QString suffix;  // of the suite's and the fixtures' file names
};

WineBuild chooseWineBuild(bool runs32Bit, const QString &forced)
{
    if (runs32Bit && forced != QLatin1String("64"))
        return {32, QStringLiteral("wine"), QString()};
    return {64, QStringLiteral(WINE64_LOADER), QStringLiteral("64")};
}

QString hexUtf16(const QString &text)
{
    QString hex;
    for (const QChar c : text)
        hex += QStringLiteral("%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return hex;
}

} // namespace

// The Win32 code and the portable PE code compiled with mingw and run under Wine, in a
// Wine prefix of the test's own; results compared with the portable path on Linux and
// read back with wrestool.
class TstWin32 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void registryView();
    void rightsAndTrees();
    void processorQuery();
    void iconOnAllPaths_data();
    void iconOnAllPaths();
    void descriptionOnAllPaths_data();
    void descriptionOnAllPaths();
    void portablePe32PlusStillStarts();
    void selfDeleteBatch();

private:
    QByteArray wine(const QStringList &arguments, int *exitCode = nullptr);
    QByteArray suite(const QStringList &arguments);
    QString fixture(const QString &name) const;
    bool runs32Bit();
    QString copyOf(const QString &name, const QString &path);
    void checkStarts(const QString &exe);

    QProcessEnvironment environment;
    QString work;
    WineBuild build;
};

QByteArray TstWin32::wine(const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(build.loader, arguments);
    if (!process.waitForFinished(120000))
        process.kill();
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAllStandardOutput().replace("\r\n", "\n");
}

// Every command of the suite prints a line: nothing at all is Wine not starting it, seen
// once in CI on a loaded machine, and it is asked again.
QByteArray TstWin32::suite(const QStringList &arguments)
{
    const QStringList command = QStringList{QStringLiteral(WIN32_TESTS_DIR "/win32_tests%1.exe").arg(build.suffix)} + arguments;
    QByteArray out;
    for (int attempt = 0; attempt < 3 && out.isEmpty(); ++attempt)
        out = wine(command);
    return out;
}

// Fixtures of the chosen build; the icons are the same for both.
QString TstWin32::fixture(const QString &name) const
{
    QString file = name;
    if (file.endsWith(QLatin1String(".exe")))
        file.insert(file.size() - 4, build.suffix);
    return QStringLiteral(PE_FIXTURE_DIR "/") + file;
}

// A 32-bit Wine that cannot start fails silently with exit code 0, so the proof is the
// fixture's own output.
bool TstWin32::runs32Bit()
{
    build = chooseWineBuild(true, QString());
    return wine({winePath(fixture(QStringLiteral("client.exe")))}) == "fixture ok\n";
}

void TstWin32::initTestCase()
{
    work = QDir::tempPath() + QStringLiteral("/win32");
    QDir().mkpath(work);
    environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEPREFIX"), QDir::homePath() + QStringLiteral("/wineprefix"));
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    environment.remove(QStringLiteral("DISPLAY"));
    const QString forced = qEnvironmentVariable("WIN32_SUITE_BITS");
    const bool has32 = runs32Bit();
    build = chooseWineBuild(has32, forced);
    if (!has32 && forced == QLatin1String("64"))
        QSKIP("this kernel runs no 32-bit programs: tst_win32 already runs the 64-bit build");
    qInfo("the %d-bit build runs under %s", build.bits, qPrintable(build.loader));
    if (build.bits == 64)
        environment.insert(QStringLiteral("WINELOADER"), build.loader);
    QProcess boot;
    boot.setProcessEnvironment(environment);
    boot.start(build.loader, {QStringLiteral("wineboot"), QStringLiteral("--init")});
    QVERIFY(boot.waitForFinished(300000));
    // A persistent server makes each later start quick.
    QProcess server;
    server.setProcessEnvironment(environment);
    server.start(QStringLiteral("wineserver"), {QStringLiteral("-p30")});
    server.waitForFinished(60000);
}

void TstWin32::cleanupTestCase()
{
    QProcess server;
    server.setProcessEnvironment(environment);
    server.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    server.waitForFinished(60000);
}

QString TstWin32::copyOf(const QString &name, const QString &path)
{
    const QString copy = QStringLiteral("%1/%2-%3-%4").arg(work, QTest::currentDataTag(), path, name);
    QFile::remove(copy);
    // The PE32+ client is one whichever build runs.
    QFile::copy(name == QLatin1String("client64.exe") ? QStringLiteral(PE_FIXTURE_DIR "/client64.exe") : fixture(name), copy);
    return copy;
}

void TstWin32::checkStarts(const QString &exe)
{
    int exitCode = -1;
    QCOMPARE(wine({winePath(exe)}, &exitCode), QByteArray("fixture ok\n"));
    QCOMPARE(exitCode, 0);
}

void TstWin32::registryView()
{
    QCOMPARE(suite({QStringLiteral("registry")}), QByteArray("ok\n"));
    if (build.bits != 32)
        QSKIP("the 64-bit view seen from a 32-bit program needs a kernel that runs 32-bit programs");
}

// The rights as the text the programs apply (Wine keeps no access lists on files), and
// the walk that removes a tree.
void TstWin32::rightsAndTrees()
{
    QVERIFY(suite({QStringLiteral("rights")}).endsWith("ok\n"));
    QCOMPARE(suite({QStringLiteral("tree"), QStringLiteral("C:\\rights-tree")}), QByteArray("ok\n"));
}

void TstWin32::processorQuery()
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^1 \\[(\\d+)\\](.+)\n$")).match(QString::fromUtf8(suite({"wmi"})));
    QVERIFY(m.hasMatch());
    QVERIFY(m.captured(1).toInt() >= 1);
    QVERIFY(!m.captured(2).trimmed().isEmpty());
}

void TstWin32::iconOnAllPaths_data()
{
    QTest::addColumn<QString>("icon");
    QTest::addColumn<bool>("result");
    QTest::newRow("seven") << "seven32.ico" << true;
    QTest::newRow("ten-among-8-bit") << "ten32.ico" << true;
    QTest::newRow("three") << "three32.ico" << true;
    QTest::newRow("no-32-bit") << "none32.ico" << false;
}

void TstWin32::iconOnAllPaths()
{
    QFETCH(QString, icon);
    QFETCH(bool, result);
    const QString win32 = copyOf(QStringLiteral("client.exe"), QStringLiteral("win32"));
    const QString peUnderWine = copyOf(QStringLiteral("client.exe"), QStringLiteral("pe-wine"));
    const QString portable = copyOf(QStringLiteral("client.exe"), QStringLiteral("portable"));
    const QByteArray expected = result ? "1\n" : "0\n";

    QCOMPARE(suite({QStringLiteral("icon"), winePath(fixture(icon)), winePath(win32)}), expected);
    QCOMPARE(suite({QStringLiteral("portable-icon"), winePath(fixture(icon)), winePath(peUnderWine)}), expected);
    const QString iconPath = fixture(icon);
    QCOMPARE(BaseWidget::ChangeExeIcon(iconPath.utf16(), portable.utf16()), result);

    const QMap<QString, QByteArray> resources = peResources(win32);
    QVERIFY(resources.contains(QStringLiteral("14/1/1033")));
    QCOMPARE(peResources(peUnderWine), resources);
    QCOMPARE(peResources(portable), resources);
    QCOMPARE(suite({QStringLiteral("resources"), winePath(portable)}),
             suite({QStringLiteral("resources"), winePath(win32)}));
    checkStarts(win32);
    checkStarts(portable);
}

void TstWin32::descriptionOnAllPaths_data()
{
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("result");

    QTest::newRow("same-length") << "client.exe" << QStringLiteral("渲染云 客户端") << QByteArray("1\n");
    QTest::newRow("shorter") << "client.exe" << QStringLiteral("渲染云") << QByteArray("1\n");
    QTest::newRow("longer") << "client.exe" << QStringLiteral("渲染云 客户端 — a partner edition with a long name")
                            << QByteArray("1\n");
    QTest::newRow("other-table") << "othertable.exe" << QStringLiteral("渲染云") << QByteArray("1\n");
    QTest::newRow("no-version") << "noversion.exe" << QStringLiteral("渲染云") << QByteArray("0\n");
}

void TstWin32::descriptionOnAllPaths()
{
    QFETCH(QString, exe);
    QFETCH(QString, text);
    QFETCH(QByteArray, result);
    const QString win32 = copyOf(exe, QStringLiteral("win32"));
    const QString peUnderWine = copyOf(exe, QStringLiteral("pe-wine"));
    const QString portable = copyOf(exe, QStringLiteral("portable"));
    const QByteArray before = suite({QStringLiteral("strings"), winePath(win32)});

    QCOMPARE(suite({QStringLiteral("desc"), winePath(win32), hexUtf16(text)}), result);
    QCOMPARE(suite({QStringLiteral("portable-desc"), winePath(peUnderWine), hexUtf16(text)}), result);
    QCOMPARE(QByteArray::number(BaseWidget::ChangeFileInfo(portable, text)) + '\n', result);

    // Windows' own reading of the version strings: only the Chinese table's description changed.
    const QByteArray after = suite({QStringLiteral("strings"), winePath(win32)});
    QByteArray expected = before;
    const QRegularExpression description(QStringLiteral("^080404B0\\\\FileDescription=.*$"),
                                         QRegularExpression::MultilineOption);
    expected = QString::fromUtf8(expected).replace(description, QStringLiteral("080404B0\\FileDescription=") + text).toUtf8();
    QCOMPARE(after, expected);
    QCOMPARE(suite({QStringLiteral("strings"), winePath(peUnderWine)}), after);
    QCOMPARE(suite({QStringLiteral("strings"), winePath(portable)}), after);
    QCOMPARE(peResources(portable), peResources(win32));
    checkStarts(win32);
    checkStarts(portable);
}

// A 64-bit image whose resource section has to move to the end of the file.
void TstWin32::portablePe32PlusStillStarts()
{
    const QString exe = copyOf(QStringLiteral("client64.exe"), QStringLiteral("portable"));
    const QString icon = fixture(QStringLiteral("ten32.ico"));
    QVERIFY(BaseWidget::ChangeExeIcon(icon.utf16(), exe.utf16()));
    QCOMPARE(BaseWidget::ChangeFileInfo(exe, QStringLiteral("渲染云 客户端 (64-bit)")), 1);
    QVERIFY(suite({QStringLiteral("strings"), winePath(exe)}).contains("080404B0\\FileDescription=" + QStringLiteral("渲染云 客户端 (64-bit)").toUtf8()));
    checkStarts(exe);
}

// The batch removes exactly the product folder, whatever "%" its path holds, and itself;
// a file of its name already there is replaced; a file still in use when it starts (the
// uninstaller that started it, still ending) does not keep the folder.
void TstWin32::selfDeleteBatch()
{
    const QString parent = work + QStringLiteral("/Program Files/100%PATH% sure");
    const QString product = parent + QStringLiteral("/NimbraPVX");
    QVERIFY(QDir().mkpath(product + QStringLiteral("/2.1.0.07042/plugins")));
    const QString inUse = product + QStringLiteral("/2.1.0.07042/uninstall.exe");
    QFile(inUse).open(QIODevice::WriteOnly);
    QFile(product + QStringLiteral("/2.1.0.07042/plugins/x.dll")).open(QIODevice::WriteOnly);
    QFile(parent + QStringLiteral("/keep.txt")).open(QIODevice::WriteOnly);
    const QString batch = work + QStringLiteral("/ClearPVX.bat");
    QFile planted(batch);
    QVERIFY(planted.open(QIODevice::WriteOnly));
    planted.write("echo planted\r\n");
    planted.close();

    QCOMPARE(suite({QStringLiteral("batch"), winePath(batch), winePath(product)}), QByteArray());
    QVERIFY(!fileBytes(batch).contains("planted"));
    QVERIFY(fileBytes(batch).contains("100%%PATH%% sure"));
    QProcess holder;
    holder.setProcessEnvironment(environment);
    holder.start(build.loader, {QStringLiteral(WIN32_TESTS_DIR "/win32_tests%1.exe").arg(build.suffix),
                                QStringLiteral("hold"), winePath(inUse), QStringLiteral("3000")});
    QVERIFY(holder.waitForReadyRead(60000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
    wine({QStringLiteral("cmd"), QStringLiteral("/c"), winePath(batch)});
    holder.waitForFinished(60000);
    QVERIFY(!QFileInfo::exists(product));
    QVERIFY(QFileInfo::exists(parent + QStringLiteral("/keep.txt")));
    QVERIFY(!QFileInfo::exists(batch));
}

QTEST_GUILESS_MAIN(TstWin32)
#include "tst_win32.moc"
