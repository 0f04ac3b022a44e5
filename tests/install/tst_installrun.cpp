#include "archive.h"
#include "boxanswerer.h"
#include "installpaths.h"
#include "sandbox.h"
#include "widget.h"
#include "zipthread.h"

#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTime>
#include <QtTest>

namespace {

QString programFilesTarget()
{
    return qEnvironmentVariable("PROGRAMFILES") + QStringLiteral("/Nimbra");
}

// Runs the worker to its end and delivers what it queued to the window.
void finishRun(Widget &window)
{
    auto *thread = window.findChild<ZipThread *>();
    QVERIFY(thread);
    QTRY_VERIFY_WITH_TIMEOUT(thread->isFinished(), 30000);
    QCoreApplication::sendPostedEvents();
}

} // namespace

class TstInstallRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void progressOfSmallArchive_data();
    void progressOfSmallArchive();
    void barHidesAtTheThreeHundredthEntry();
    void zipOverComesAfterTheLastOneOk();
    void everyRunGetsNewDirectory();
    void versionedInstallDir_data();
    void versionedInstallDir();
    void failedExtractionStopsRun_data();
    void failedExtractionStopsRun();

private:
    QList<int> install(Widget &window, int entries);
};

void TstInstallRun::initTestCase()
{
    // The client keeps its shipped name, so archives without it still deploy.
    sandbox::writeZqIni(sandbox::programDir(), {{"exe", "NimbraPVX.exe"}, {"name", QStringLiteral("星云")}});
    sandbox::writeFile(QStringLiteral("version"), "2.1.0");
}

void TstInstallRun::init()
{
    BaseWidget::languageFlag = true;
    QDir(programFilesTarget()).removeRecursively();
    QFile::remove(sandbox::programDir() + QStringLiteral("/files.zip"));
}

// Presses install with an archive of n entries and returns the values the bar took.
QList<int> TstInstallRun::install(Widget &window, int entries)
{
    if (entries > 0)
        archive::write(sandbox::programDir() + QStringLiteral("/files.zip"), archive::numbered(entries));
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    QList<int> values;
    connect(bar, &QProgressBar::valueChanged, bar, [&values](int v) { values << v; });
    window.show();
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("install")), Qt::LeftButton);
    finishRun(window);
    disconnect(bar, &QProgressBar::valueChanged, bar, nullptr);
    return values;
}

void TstInstallRun::progressOfSmallArchive_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<QList<int>>("values");
    const QList<int> deployment{40, 50, 60, 70, 100};
    QTest::newRow("five") << 5 << QList<int>{10, 0, 1} + deployment;
    QTest::newRow("twenty-nine") << 29 << QList<int>{10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9} + deployment;
}

void TstInstallRun::progressOfSmallArchive()
{
    QFETCH(int, entries);
    QFETCH(QList<int>, values);
    Widget window;
    QCOMPARE(install(window, entries), values);
    QVERIFY(window.findChild<QProgressBar *>(QStringLiteral("progressBar"))->isHidden());
    QVERIFY(window.isVisible());
}

void TstInstallRun::barHidesAtTheThreeHundredthEntry()
{
    Widget window;
    auto *bar = window.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    const QList<int> values = install(window, 310);
    // 10, then one point per three entries: full at the 300th.
    QCOMPARE(values.indexOf(100), 101);
    QCOMPARE(values.last(), 100);
    QVERIFY(bar->isHidden());
    // Later steps keep setting values; the bar stays hidden.
    window.setProgress(40);
    QVERIFY(bar->isHidden());
}

void TstInstallRun::zipOverComesAfterTheLastOneOk()
{
    const QString zip = QDir::tempPath() + QStringLiteral("/order.zip");
    QVERIFY(archive::write(zip, archive::numbered(300)));
    ZipThread thread;
    QObject receiver;
    QStringList events;
    connect(&thread, &ZipThread::oneOk, &receiver, [&] { events << QStringLiteral("ok"); });
    connect(&thread, &ZipThread::finished, &receiver, [&] { events << QStringLiteral("over"); });
    thread.setPaths(zip, QDir::tempPath() + QStringLiteral("/order"));
    thread.start();
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 301, 30000);
    QCOMPARE(events.indexOf(QStringLiteral("over")), 300);
    QCOMPARE(thread.extracted().size(), 300);
}

void TstInstallRun::everyRunGetsNewDirectory()
{
    QStringList dirs;
    for (int run = 0; run < 2; ++run) {
        Widget window;
        install(window, 3);
        dirs << window.installDir;
        QVERIFY(QFileInfo::exists(window.installDir + QStringLiteral("/f0002.txt")));
    }
    const QRegularExpression name(QRegularExpression::escape(QDir::toNativeSeparators(
                                      programFilesTarget() + QStringLiteral("/NimbraPVX/2.1.0.")))
                                  + QStringLiteral("\\d{5}$"));
    QVERIFY2(name.match(dirs[0]).hasMatch(), qPrintable(dirs[0]));
    QVERIFY(dirs[0] != dirs[1]);
}

void TstInstallRun::versionedInstallDir_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("expected");

    const QString sep = QDir::separator();
    const QString pf = QStringList{"", "opt", "Program Files", "Nimbra"}.join(sep);
    QTest::newRow("standard") << pf << "" << pf + sep + "NimbraPVX" + sep + "2.1.0.07042";
    QTest::newRow("partner") << pf << "OKARender" << pf + sep + "NimbraPVX" + sep + "2.1.0.07042";
    QTest::newRow("co-branded") << pf << "KWRender" << pf + sep + "Nimbra for Unity" + sep + "2.1.0.07042";
    QTest::newRow("root-doubles-separator") << sep << "" << sep + sep + "NimbraPVX" + sep + "2.1.0.07042";
}

void TstInstallRun::versionedInstallDir()
{
    QFETCH(QString, chosen);
    QFETCH(QString, third);
    QFETCH(QString, expected);
    QCOMPARE(::versionedInstallDir(chosen, third, QStringLiteral("2.1.0"), QTime(10, 15, 7, 42)), expected);
    QVERIFY(::versionedInstallDir(chosen, third, QStringLiteral("2.1.0"), QTime(10, 15, 59, 318))
            .endsWith(QStringLiteral("2.1.0.59318")));
}

void TstInstallRun::failedExtractionStopsRun_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("chosenExisted");
    QTest::addColumn<bool>("chinese");

    QTest::newRow("missing-archive") << "missing" << false << true;
    QTest::newRow("corrupt-entry") << "corrupt" << false << true;
    QTest::newRow("escaping-entry") << "escape" << false << false;
    QTest::newRow("corrupt-into-existing-folder") << "corrupt" << true << true;
}

void TstInstallRun::failedExtractionStopsRun()
{
    QFETCH(QString, fault);
    QFETCH(bool, chosenExisted);
    QFETCH(bool, chinese);

    const QString zip = sandbox::programDir() + QStringLiteral("/files.zip");
    if (fault == QLatin1String("corrupt")) {
        QVERIFY(archive::write(zip, {{"a/one.txt", "1"}, {"bad.bin", "DAMAGED-CONTENT", {}, true}}));
        QVERIFY(archive::damage(zip, "DAMAGED-CONTENT"));
    } else if (fault == QLatin1String("escape")) {
        QVERIFY(archive::write(zip, {{"a/one.txt", "1"}, {"../../../escaped.txt", "x"}}));
    }
    if (chosenExisted)
        sandbox::writeFile(programFilesTarget() + QStringLiteral("/user-file.txt"), "keep");

    BaseWidget::languageFlag = chinese;
    Widget window;
    BoxAnswerer answerer(BoxAnswerer::Ok);
    window.show();
    window.on_install_clicked();
    finishRun(window);

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, chinese ? QStringLiteral("解压文件失败") : QStringLiteral("Extract file error"));
    QVERIFY(!window.isVisible());
    QVERIFY(!QFileInfo::exists(window.installDir));
    QCOMPARE(QFileInfo::exists(programFilesTarget()), chosenExisted);
    if (chosenExisted)
        QVERIFY(QFileInfo::exists(programFilesTarget() + QStringLiteral("/user-file.txt")));
    QVERIFY(!QFileInfo::exists(qEnvironmentVariable("PROGRAMFILES") + QStringLiteral("/escaped.txt")));
}

QTEST_MAIN(TstInstallRun)
#include "tst_installrun.moc"
