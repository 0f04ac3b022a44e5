#include "boxanswerer.h"
#include "msgbox.h"
#include "sandbox.h"
#include "singleapp.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QtTest>

class TstMsgBox : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void answers_data();
    void answers();
    void texts_data();
    void texts();
    void formLeavesOutlineBandFree();
    void outlineOnlyInOuterBand();
    void drag_data();
    void drag();
    void screenshots();
};

void TstMsgBox::initTestCase()
{
    sandbox::writeZqIni(sandbox::programDir(), {{"name", QStringLiteral("星云渲染")}});
}

void TstMsgBox::cleanup()
{
    BaseWidget::languageFlag = true;
    MsgBox::englishTitle.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY2(!qobject_cast<MsgBox *>(w), "a message box outlived its answer");
}

void TstMsgBox::answers_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("twoButtons");

    QTest::newRow("information-ok") << 1 << int(BoxAnswerer::Ok) << 0 << false;
    QTest::newRow("information-close") << 1 << int(BoxAnswerer::Close) << 1 << false;
    QTest::newRow("question-ok") << 2 << int(BoxAnswerer::Ok) << 0 << true;
    QTest::newRow("question-cancel") << 2 << int(BoxAnswerer::Cancel) << 1 << true;
    QTest::newRow("question-close") << 2 << int(BoxAnswerer::Close) << 1 << true;
    QTest::newRow("unknown-type-asks") << 7 << int(BoxAnswerer::Cancel) << 1 << true;
}

void TstMsgBox::answers()
{
    QFETCH(int, type);
    QFETCH(int, button);
    QFETCH(int, result);
    QFETCH(bool, twoButtons);

    BoxAnswerer answerer{BoxAnswerer::Button(button)};
    QCOMPARE(MsgBox::run(type, QStringLiteral("文本")), result);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen[0].text, QStringLiteral("文本"));
    QCOMPARE(answerer.seen[0].cancelVisible, twoButtons);
}

void TstMsgBox::texts_data()
{
    QTest::addColumn<bool>("chinese");
    QTest::addColumn<QString>("englishTitle");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("chinese") << true << QString() << QStringList{"提示", "确定", "取消"};
    QTest::newRow("chinese-uninstaller") << true << "Prompt" << QStringList{"提示", "确定", "取消"};
    QTest::newRow("english-installer") << false << QString() << QStringList{"", "OK", "Cancel"};
    QTest::newRow("english-uninstaller") << false << "Prompt" << QStringList{"Prompt", "OK", "Cancel"};
}

void TstMsgBox::texts()
{
    QFETCH(bool, chinese);
    QFETCH(QString, englishTitle);
    QFETCH(QStringList, shown);

    BaseWidget::languageFlag = chinese;
    MsgBox::englishTitle = englishTitle;
    BoxAnswerer answerer(BoxAnswerer::Ok);
    MsgBox::question(QStringLiteral("?"));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE((QStringList{answerer.seen[0].title, answerer.seen[0].ok, answerer.seen[0].cancel}), shown);
}

void TstMsgBox::formLeavesOutlineBandFree()
{
    MsgBox box(1);
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QCOMPARE(box.size(), QSize(396, 206));
    auto *content = box.findChild<QWidget *>(QStringLiteral("widget"));
    QCOMPARE(content->geometry(), QRect(3, 3, 390, 200));
    QCOMPARE(box.findChild<QWidget *>(QStringLiteral("widget_2"))->height(), 40);
}

void TstMsgBox::outlineOnlyInOuterBand()
{
    BaseWidget base;
    base.resize(396, 206);
    const QImage image = base.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(qAlpha(image.pixel(198, 103)), 0);
    QCOMPARE(qAlpha(image.pixel(10, 10)), 0);
    // Each of the three outlines leaves its mark in the band, strongest innermost.
    const int inner = qAlpha(image.pixel(3, 103));
    const int outer = qAlpha(image.pixel(0, 103));
    QVERIFY2(inner > 0 && outer > 0, qPrintable(QStringLiteral("%1 %2").arg(inner).arg(outer)));
    QVERIFY(inner > outer);
    QVERIFY(qAbs(qRed(image.pixel(3, 103)) - 40) <= 2);
}

void TstMsgBox::drag_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("pressed");
    QTest::addColumn<QPoint>("moved");

    QTest::newRow("left-drags") << QPoint(50, 20) << int(Qt::LeftButton) << QPoint(30, 40);
    QTest::newRow("left-edge-never-drags") << QPoint(0, 20) << int(Qt::LeftButton) << QPoint(0, 0);
    QTest::newRow("right-never-drags") << QPoint(50, 20) << int(Qt::RightButton) << QPoint(0, 0);
}

void TstMsgBox::drag()
{
    QFETCH(QPoint, press);
    QFETCH(int, pressed);
    const auto button = Qt::MouseButton(pressed);
    QFETCH(QPoint, moved);

    BaseWidget window;
    window.resize(200, 100);
    window.move(100, 100);
    const QPoint start = window.pos();
    auto send = [&window](QEvent::Type type, QPoint global, Qt::MouseButton b, Qt::MouseButtons held) {
        QMouseEvent event(type, global - window.pos(), global, b, held, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    };
    const QPoint grip = start + press;
    send(QEvent::MouseButtonPress, grip, button, button);
    // Moves go on dragging whatever buttons are held, until the release.
    send(QEvent::MouseMove, grip + QPoint(10, 20), Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseMove, grip + QPoint(30, 40), Qt::NoButton, Qt::RightButton);
    QCOMPARE(window.pos(), start + moved);
    send(QEvent::MouseButtonRelease, grip + QPoint(30, 40), button, Qt::NoButton);
    send(QEvent::MouseMove, grip + QPoint(90, 90), Qt::NoButton, Qt::NoButton);
    QCOMPARE(window.pos(), start + moved);
}

// Writes pictures of the box in both languages where SCREENSHOT_DIR asks for them.
void TstMsgBox::screenshots()
{
    const QString dir = qEnvironmentVariable("SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    SingleApp::useClientFont();
    for (bool chinese : {true, false}) {
        BaseWidget::languageFlag = chinese;
        MsgBox::englishTitle = QStringLiteral("Prompt");
        MsgBox box(2);
        box.findChild<QLabel *>(QStringLiteral("info"))
            ->setText(chinese ? QStringLiteral("客户端已安装，是否覆盖安装？")
                              : QStringLiteral("The program is already installed on this computer, "
                                               "do you want to reinstall it? Press OK to continue."));
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QVERIFY(box.grab().save(dir + (chinese ? "/msgbox-zh.png" : "/msgbox-en.png")));
    }
}

QTEST_MAIN(TstMsgBox)
#include "tst_msgbox.moc"
