#include "basewidget.h"
#include "boxanswerer.h"
#include "fakeprocess.h"
#include "dialogue.h"
#include "preflight.h"
#include "sandbox.h"

#include <QDir>
#include <QFile>
#include <QScopedPointer>
#include <QtTest>

namespace {

const QString zhReinstall = QStringLiteral("客户端已安装，是否覆盖安装？");
const QString zhMax = QStringLiteral("请先关闭max，再安装客户端！");
const QString zhStandard = QStringLiteral("已安装通用版客户端，请卸载后安装！");

QString nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

class TstPreflight : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void decisions_data();
    void decisions();
    void englishTexts();
    void runningClientIsKilled();
    void earlierChoice_data();
    void earlierChoice();
};

void TstPreflight::cleanup()
{
    sandbox::clearRegistry();
    BaseWidget::languageFlag = true;
}

void TstPreflight::decisions_data()
{
    QTest::addColumn<QString>("third");       // edition of this installer
    QTest::addColumn<QString>("storedDir");   // InstallDir of the installed client, below the sandbox
    QTest::addColumn<QString>("thirdPart");   // ThirdPart of the installed client
    QTest::addColumn<bool>("maxRunning");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("box");         // the text shown, empty for none
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<QString>("dir");         // the directory handed on, below the sandbox

    const int ok = BoxAnswerer::Ok;
    QTest::newRow("first-install") << "" << "" << "" << false << ok << "" << true << "";
    QTest::newRow("reinstall-confirmed") << "" << "pf/NimbraPVX/1.0.1" << "" << false << ok
                                         << zhReinstall << true << "pf";
    QTest::newRow("reinstall-cancelled") << "" << "pf/NimbraPVX/1.0.1" << "" << false
                                         << int(BoxAnswerer::Cancel) << zhReinstall << false << "";
    QTest::newRow("reinstall-closed") << "" << "pf/NimbraPVX/1.0.1" << "" << false
                                      << int(BoxAnswerer::Close) << zhReinstall << false << "";
    QTest::newRow("installed-dir-gone") << "" << "gone/pf/NimbraPVX/1.0.1" << "" << false << ok
                                        << zhReinstall << true << "gone/pf";
    QTest::newRow("max-running") << "" << "" << "" << true << ok << zhMax << false << "";
    QTest::newRow("partner-over-standard") << "OKARender" << "pf/NimbraPVX/1.0.1" << "" << false << ok
                                           << zhStandard << false << "";
    QTest::newRow("partner-over-partner") << "OKARender" << "pf/NimbraPVX/1.0.1" << "OKARender" << false
                                          << ok << zhReinstall << true << "pf";
    QTest::newRow("partner-first-install") << "OKARender" << "" << "" << false << ok << "" << true << "";
    QTest::newRow("kwrender-ignores-max") << "KWRender" << "" << "" << true << ok << "" << true << "";
    QTest::newRow("kwrender-renames-dir") << "KWRender" << "KWRender/KWRender/bin" << "" << true << ok
                                          << zhReinstall << true << "Nimbra";
}

void TstPreflight::decisions()
{
    QFETCH(QString, third);
    QFETCH(QString, storedDir);
    QFETCH(QString, thirdPart);
    QFETCH(bool, maxRunning);
    QFETCH(int, answer);
    QFETCH(QString, box);
    QFETCH(bool, goesOn);
    QFETCH(QString, dir);

    const QString root = QDir::tempPath() + QLatin1Char('/') + QTest::currentDataTag();
    QDir().mkpath(root + QStringLiteral("/pf/NimbraPVX/1.0.1"));
    sandbox::writeZqIni(sandbox::programDir(), {{"third", third}, {"exe", "NimbraClientStub.exe"}});
    BaseWidget config;
    if (!storedDir.isEmpty()) {
        config.settings()->setValue(QStringLiteral("InstallDir"), nativePath(root + QLatin1Char('/') + storedDir));
        config.settings()->setValue(QStringLiteral("ThirdPart"), thirdPart);
    }
    QScopedPointer<FakeProcess> max;
    if (maxRunning)
        max.reset(new FakeProcess(root + QStringLiteral("/max"), QStringLiteral("3dsmax.exe")));

    BoxAnswerer answerer{BoxAnswerer::Button(answer)};
    QString handedOn = QStringLiteral("untouched");
    QCOMPARE(installPreflight(config.client, Dialogue(Reporter::plain(), true), &handedOn), goesOn);

    QStringList shown;
    for (const BoxAnswerer::Seen &s : answerer.seen)
        shown << s.text;
    QCOMPARE(shown, box.isEmpty() ? QStringList() : QStringList{box});
    if (goesOn)
        QCOMPARE(handedOn, dir.isEmpty() ? QString() : QDir(root).absoluteFilePath(dir));
}

void TstPreflight::englishTexts()
{
    sandbox::writeZqIni(sandbox::programDir(), {{"lang", "en_us"}, {"third", "OKARender"}});
    BaseWidget config;
    QVERIFY(!config.isChinese());
    config.settings()->setValue(QStringLiteral("InstallDir"), nativePath(QDir::tempPath() + "/x/y/z"));
    QString dir;
    {
        BoxAnswerer answerer(BoxAnswerer::Ok);
        QVERIFY(!installPreflight(config.client, Dialogue(Reporter::plain(), true), &dir));
        QCOMPARE(answerer.seen.value(0).text,
                 QStringLiteral("The general version of the client has been installed, please install it "
                                "after uninstall!"));
        QCOMPARE(answerer.seen.value(0).ok, QStringLiteral("OK"));
    }
    config.settings()->setValue(QStringLiteral("ThirdPart"), QStringLiteral("OKARender"));
    {
        BoxAnswerer answerer(BoxAnswerer::Ok);
        QVERIFY(installPreflight(config.client, Dialogue(Reporter::plain(), true), &dir));
        QCOMPARE(answerer.seen.value(0).text,
                 QStringLiteral("The program is already installed on this computer, do you want to "
                                "reinstall it? Press OK to continue."));
    }
    FakeProcess max(QDir::tempPath() + QStringLiteral("/max"), QStringLiteral("3dsmax.exe"));
    BoxAnswerer answerer(BoxAnswerer::Ok);
    QVERIFY(!installPreflight(config.client, Dialogue(Reporter::plain(), true), &dir));
    QCOMPARE(answerer.seen.value(0).text, QStringLiteral("Pleace close max first and install client!"));
}

void TstPreflight::runningClientIsKilled()
{
    sandbox::writeZqIni(sandbox::programDir(), {{"exe", "NimbraClientStub.exe"}});
    BaseWidget config;
    FakeProcess client(QDir::tempPath() + QStringLiteral("/client"), QStringLiteral("NimbraClientStub.exe"));
    FakeProcess other(QDir::tempPath() + QStringLiteral("/other"), QStringLiteral("OtherClient.exe"));
    BoxAnswerer answerer(BoxAnswerer::Cancel);
    QString dir;
    QVERIFY(installPreflight(config.client, Dialogue(Reporter::plain(), true), &dir));
    QVERIFY(answerer.seen.isEmpty());
    QTRY_VERIFY(!client.isRunning());
    QVERIFY(other.isRunning());
}

void TstPreflight::earlierChoice_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");

    const QString sep = QDir::separator();
    const QString existing = QDir::tempPath() + QStringLiteral("/pf/NimbraPVX/1.0.1");
    QDir().mkpath(existing);
    QTest::newRow("existing-dir") << nativePath(existing) << QDir::tempPath() + QStringLiteral("/pf");
    QTest::newRow("gone-cut-textually") << QStringList{"D:", "a", "b", "c"}.join(sep)
                                        << QStringList{"D:", "a"}.join(sep);
    QTest::newRow("gone-three-parts") << QStringList{"D:", "a", "b"}.join(sep) << "D:";
    QTest::newRow("gone-two-parts") << QStringList{"D:", "a"}.join(sep) << "";
    QTest::newRow("gone-one-part") << "D:" << "";
    QTest::newRow("gone-empty-parts-kept") << QStringList{"D:", "a", "", "b", "c"}.join(sep)
                                           << QStringList{"D:", "a", ""}.join(sep);
}

void TstPreflight::earlierChoice()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QCOMPARE(::earlierChoice(stored), expected);
}

QTEST_MAIN(TstPreflight)
#include "tst_preflight.moc"
