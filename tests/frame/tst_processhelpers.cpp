#include "basewidget.h"
#include "fakeprocess.h"

#include <QDir>
#include <QtTest>

class TstProcessHelpers : public QObject
{
    Q_OBJECT

private slots:
    void exists_data();
    void exists();
    void killEndsEveryProcessOfTheName();
    void killTakesTheNameAsGiven();
};

void TstProcessHelpers::exists_data()
{
    QTest::addColumn<QString>("running");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<bool>("found");

    QTest::newRow("full-name") << "3dsmax.exe" << "3dsmax.exe" << true;
    QTest::newRow("without-exe") << "3dsmax.exe" << "3dsmax" << true;
    QTest::newRow("upper-case-exe") << "3dsmax.exe" << "3dsmax.EXE" << false;
    QTest::newRow("other-case-name") << "3dsmax.exe" << "3DSMAX.exe" << false;
    QTest::newRow("part-of-name") << "3dsmax.exe" << "max.exe" << false;
    QTest::newRow("long-name") << "NimbraRenderClient.exe" << "NimbraRenderClient" << true;
    QTest::newRow("chinese-name") << QStringLiteral("星云渲染.exe") << QStringLiteral("星云渲染.exe") << true;
    QTest::newRow("nothing-running") << QString() << "3dsmax.exe" << false;
    QTest::newRow("empty-name") << QString() << QString() << false;
}

void TstProcessHelpers::exists()
{
    QFETCH(QString, running);
    QFETCH(QString, asked);
    QFETCH(bool, found);

    QScopedPointer<FakeProcess> process;
    if (!running.isEmpty()) {
        process.reset(new FakeProcess(QDir::tempPath() + QStringLiteral("/max"), running));
        QVERIFY(process->isRunning());
    }
    QCOMPARE(BaseWidget::processExists(asked), found);
}

void TstProcessHelpers::killEndsEveryProcessOfTheName()
{
    FakeProcess first(QDir::tempPath() + QStringLiteral("/a"), QStringLiteral("3dsmax.exe"));
    FakeProcess second(QDir::tempPath() + QStringLiteral("/b"), QStringLiteral("3dsmax.exe"));
    FakeProcess bystander(QDir::tempPath() + QStringLiteral("/c"), QStringLiteral("3dsmax2.exe"));
    QVERIFY(first.isRunning() && second.isRunning());

    BaseWidget::killProcess(QStringLiteral("3dsmax.exe"));
    QTRY_VERIFY(!first.isRunning());
    QTRY_VERIFY(!second.isRunning());
    QVERIFY(bystander.isRunning());
    QVERIFY(!BaseWidget::processExists(QStringLiteral("3dsmax")));
}

void TstProcessHelpers::killTakesTheNameAsGiven()
{
    FakeProcess max(QDir::tempPath() + QStringLiteral("/a"), QStringLiteral("3dsmax.exe"));
    BaseWidget::killProcess(QStringLiteral("3dsmax"));
    // A killed process would have left the list at once (its image is gone).
    QVERIFY(BaseWidget::processExists(QStringLiteral("3dsmax")));
    QVERIFY(max.isRunning());
}

QTEST_GUILESS_MAIN(TstProcessHelpers)
#include "tst_processhelpers.moc"
