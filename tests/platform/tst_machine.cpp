#include "machine.h"

#include <QtTest>

class TstMachine : public QObject
{
    Q_OBJECT

private slots:
    void cpuInfo_data();
    void cpuInfo();
};

void TstMachine::cpuInfo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("cores");

    QTest::newRow("two-packages-last-wins")
        << "processor\t: 0\nmodel name\t: Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz\ncpu cores\t: 14\n\n"
           "processor\t: 1\nmodel name\t: AMD EPYC 7B13\ncpu cores\t: 2\n"
        << true << "AMD EPYC 7B13" << 2;
    QTest::newRow("no-core-count") << "processor : 0\nmodel name : ARMv8 Processor rev 4\n" << true
                                   << "ARMv8 Processor rev 4" << 0;
    QTest::newRow("no-name") << "processor : 0\nBogoMIPS : 50.00\n" << false << "" << 0;
    QTest::newRow("empty") << "" << false << "" << 0;
}

void TstMachine::cpuInfo()
{
    QFETCH(QString, text);
    QFETCH(bool, found);
    QFETCH(QString, name);
    QFETCH(int, cores);
    QString parsedName;
    int parsedCores = 0;
    QCOMPARE(platform::parseCpuInfo(text, &parsedName, &parsedCores), found);
    QCOMPARE(parsedName, name);
    QCOMPARE(parsedCores, cores);
}

QTEST_GUILESS_MAIN(TstMachine)
#include "tst_machine.moc"
