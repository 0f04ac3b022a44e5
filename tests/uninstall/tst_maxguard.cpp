#include "basewidget.h"
#include "boxanswerer.h"
#include "fakeprocess.h"
#include "dialogue.h"
#include "maxguard.h"
#include "sandbox.h"

#include <QDir>
#include <QtTest>

class TstMaxGuard : public QObject
{
    Q_OBJECT

private slots:
    void guard_data();
    void guard();
};

void TstMaxGuard::guard_data()
{
    QTest::addColumn<QString>("third");
    QTest::addColumn<bool>("maxRunning");
    QTest::addColumn<bool>("zh");
    QTest::addColumn<QString>("box");

    QTest::newRow("no-max") << "" << false << true << "";
    QTest::newRow("max-chinese") << "" << true << true << QStringLiteral("请先关闭max，再卸载客户端！");
    QTest::newRow("max-english") << "OKARender" << true << false
                                 << "Pleace close max first and uninstall client!";
    QTest::newRow("max-kwrender") << "KWRender" << true << true << "";
}

void TstMaxGuard::guard()
{
    QFETCH(QString, third);
    QFETCH(bool, maxRunning);
    QFETCH(bool, zh);
    QFETCH(QString, box);

    sandbox::writeZqIni(sandbox::programDir(), {{"third", third}, {"lang", zh ? "" : "en_us"}});
    BaseWidget config;
    QScopedPointer<FakeProcess> max;
    if (maxRunning)
        max.reset(new FakeProcess(QDir::tempPath() + QStringLiteral("/max"), QStringLiteral("3dsmax.exe")));
    BoxAnswerer answerer(BoxAnswerer::Close);
    QCOMPARE(maxAllowsUninstall(config.client, Dialogue(Reporter::plain(), true)), box.isEmpty());
    QCOMPARE(answerer.seen.value(0).text, box);
}

QTEST_MAIN(TstMaxGuard)
#include "tst_maxguard.moc"
