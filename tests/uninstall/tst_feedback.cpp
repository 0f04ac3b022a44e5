#include "boxanswerer.h"
#include "msgbox.h"
#include "refserver.h"
#include "sandbox.h"
#include "singleapp.h"
#include "widget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTextEdit>
#include <QtTest>

namespace {

QStringList boxes(QWidget &window)
{
    QStringList shown;
    for (const char *name : {"check1", "check2", "check3", "check4", "checkOther"}) {
        auto *box = sandbox::child<QCheckBox>(window, name);
        shown << box->text() + QLatin1Char('|') + box->toolTip();
    }
    return shown;
}

QJsonObject row(int order, const QString &reason, int id)
{
    return {{"order", order}, {"reason", reason}, {"id", id}};
}

} // namespace

// The feedback form against the reference reason service.
class TstFeedback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void reasonList_data();
    void reasonList();
    void replyAfterTheFormIsGone();
    void feedbackPosted_data();
    void feedbackPosted();
    void textLimit();
    void otherBoxFollowsText();
    void commitFollowsBoxes();
    void contactValidator();
    void screenshots();

private:
    void configure(const QString &third, const QString &lang, const QString &bs = QString());
    void serveReasons(const QByteArray &body);
    void waitForReasons(QWidget &window);

    QScopedPointer<RefServer> server;
    QString reasons;
};

void TstFeedback::initTestCase()
{
    reasons = QDir::tempPath() + QStringLiteral("/reasons.json");
    server.reset(new RefServer(QDir::tempPath(), reasons));
    QVERIFY(server->isRunning());
    MsgBox::englishTitle = QStringLiteral("Prompt");
}

void TstFeedback::init()
{
    server->clearFaults();
    serveReasons(QJsonDocument(QJsonObject{{"rows", QJsonArray{row(1, QStringLiteral("不好用"), 11),
                                                               row(2, QStringLiteral("太慢"), 12),
                                                               row(3, QStringLiteral("崩溃"), 13),
                                                               row(4, QStringLiteral("换了别的"), 14)}}})
                     .toJson());
    configure(QString(), QString());
}

void TstFeedback::configure(const QString &third, const QString &lang, const QString &bs)
{
    sandbox::writeZqIni(sandbox::programDir(), {{"name", QStringLiteral("星云")}, {"nameEN", "Nimbra"}, {"third", third},
                                                 {"lang", lang}, {"exe", "NimbraClientStub.exe"}});
    sandbox::writeFile(sandbox::programDir() + QStringLiteral("/service.ini"),
                       "[server]\nbs=" + (bs.isNull() ? server->url() : bs).toUtf8() + "\n");
    BaseWidget config;
    config.isChinese();
}

void TstFeedback::serveReasons(const QByteArray &body)
{
    sandbox::writeFile(reasons, body);
}

// The window drops every connection of its manager after the first reply, a spy's too:
// wait on the reply itself (a child of the manager until it is deleted).
void TstFeedback::waitForReasons(QWidget &window)
{
    QPointer<QNetworkReply> reply = window.findChild<QNetworkAccessManager *>()->findChild<QNetworkReply *>();
    QVERIFY(reply);
    QTRY_VERIFY_WITH_TIMEOUT(!reply || reply->isFinished(), 10000);
}

void TstFeedback::reasonList_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("shown");

    const QString none = QStringLiteral("无|");
    auto doc = [](const QJsonArray &rows) { return QJsonDocument(QJsonObject{{"rows", rows}, {"total", 6}}).toJson(); };
    QTest::newRow("more-than-four") << doc({row(5, "e", 5), row(1, "a", 1), row(3, "c", 3), row(2, "b", 2), row(9, "i", 9),
                                            row(4, "d", 4)})
                                    << "" << QStringList{"a|1", "b|2", "c|3", "d|4", QStringLiteral("其他|-1")};
    QTest::newRow("equal-orders-last-wins") << doc({row(1, "first", 1), row(1, "second", 2), row(2, "two", 3)}) << ""
                                            << QStringList{"second|2", "two|3", none, none, QStringLiteral("其他|-1")};
    QTest::newRow("rows-without-order") << doc({QJsonObject{{"reason", "x"}, {"id", 7}}, QJsonObject{{"reason", "y"}, {"id", 8}},
                                                row(1, "z", 9)})
                                        << "" << QStringList{"y|8", "z|9", none, none, QStringLiteral("其他|-1")};
    QTest::newRow("odd-values") << doc({QJsonObject{{"order", 1.5}, {"reason", 3}, {"id", "12"}}}) << ""
                                << QStringList{"|0", none, none, none, QStringLiteral("其他|-1")};
    QTest::newRow("no-rows") << QByteArray("{\"total\":0}") << ""
                             << QStringList{none, none, none, none, QStringLiteral("其他|-1")};
    QTest::newRow("not-json") << QByteArray("<html>busy</html>") << ""
                              << QStringList{none, none, none, none, QStringLiteral("其他|-1")};
    QTest::newRow("error-status") << doc({row(1, "a", 1)}) << "status:502"
                                  << QStringList{none, none, none, none, QStringLiteral("其他|")};
    QTest::newRow("network-failure") << doc({row(1, "a", 1)}) << "no-server"
                                     << QStringList{none, none, none, none, QStringLiteral("其他|")};
    QTest::newRow("endless-body") << doc({row(1, "a", 1)}) << "endless"
                                  << QStringList{none, none, none, none, QStringLiteral("其他|")};
}

void TstFeedback::reasonList()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, fault);
    QFETCH(QStringList, shown);
    serveReasons(body);
    if (fault.startsWith(QLatin1String("status:")))
        server->addFault(QStringLiteral("status"), fault.mid(7), QStringLiteral("getPresentByType"));
    if (fault == QLatin1String("no-server"))
        configure(QString(), QString(), QStringLiteral("http://127.0.0.1:9"));
    if (fault == QLatin1String("endless"))
        server->addFault(fault, QString(), QStringLiteral("getPresentByType"));

    Widget window;
    waitForReasons(window);
    QCOMPARE(boxes(window), shown);
    if (fault != QLatin1String("no-server")) {
        const QJsonObject request = server->requests().last().toObject();
        QCOMPARE(request.value("path").toString(), QStringLiteral("/cms/uninstallReason/getPresentByType"));
        QCOMPARE(request.value("query").toObject().value("type").toString(), QStringLiteral("2"));
    }
}

void TstFeedback::replyAfterTheFormIsGone()
{
    server->addFault(QStringLiteral("slow"), QStringLiteral("400"), QStringLiteral("getPresentByType"));
    Widget window;
    window.show();
    sandbox::child<QCheckBox>(window, "check1")->setChecked(true);
    QTest::mouseClick(sandbox::child<QPushButton>(window, "uninstall_commit"), Qt::LeftButton);
    QTRY_VERIFY(!window.findChild<QStackedWidget *>());
    waitForReasons(window);
    QVERIFY(window.uninstalled);
}

void TstFeedback::feedbackPosted_data()
{
    QTest::addColumn<QString>("third");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("reasonsServed");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QByteArray>("posted");  // empty: nothing is posted

    QTest::newRow("standard") << "" << "" << true << QStringList{"check1", "check3", "checkOther"}
                              << QByteArray(R"({"rows":[{"id":11},{"id":13},{"contact":"me@example.org","id":0,"other":"其他原因"}],"type":2})");
    QTest::newRow("co-branded") << "KWRender" << "" << true << QStringList{"check2"}
                                << QByteArray(R"({"rows":[{"id":12}],"type":1})");
    QTest::newRow("standard-english") << "" << "en_us" << true << QStringList() << QByteArray(R"({"rows":[],"type":2})");
    QTest::newRow("co-branded-english") << "KWRender" << "en_us" << true << QStringList()
                                        << QByteArray(R"({"rows":[],"type":1})");
    QTest::newRow("partner") << "OKARender" << "" << true << QStringList() << QByteArray();
    QTest::newRow("no-reason-list") << "" << "" << false << QStringList{"check4", "checkOther"}
                                    << QByteArray(R"({"rows":[{"id":0},{"id":0}],"type":2})");
}

void TstFeedback::feedbackPosted()
{
    QFETCH(QString, third);
    QFETCH(QString, lang);
    QFETCH(bool, reasonsServed);
    QFETCH(QStringList, checked);
    QFETCH(QByteArray, posted);

    configure(third, lang);
    if (!reasonsServed)
        server->addFault(QStringLiteral("status"), QStringLiteral("404"), QStringLiteral("getPresentByType"));
    const int recordsBefore = server->records().size();
    Widget window;
    window.show();
    waitForReasons(window);
    QTest::mouseClick(sandbox::child<QPushButton>(window, "uninstall"), Qt::LeftButton);
    const bool feedbackPage = lang.isEmpty() && third != QLatin1String("OKARender");
    QCOMPARE(window.uninstalled, !feedbackPage);
    if (feedbackPage) {
        QCOMPARE(sandbox::child<QStackedWidget>(window, "stackedWidget")->currentIndex(), 1);
        for (const QString &box : checked) {
            if (box == QLatin1String("checkOther"))
                sandbox::child<QTextEdit>(window, "textEdit")->setPlainText(QStringLiteral("其他原因"));
            else
                sandbox::child<QCheckBox>(window, box.toLatin1().constData())->setChecked(true);
        }
        sandbox::child<QLineEdit>(window, "phone")->setText(QStringLiteral("me@example.org"));
        QTest::mouseClick(sandbox::child<QPushButton>(window, "uninstall_commit"), Qt::LeftButton);
        QVERIFY(window.uninstalled);
    }
    if (posted.isEmpty()) {
        // A post would have left its reply with the manager.
        for (QNetworkReply *reply : window.findChild<QNetworkAccessManager *>()->findChildren<QNetworkReply *>())
            QVERIFY(reply->operation() != QNetworkAccessManager::PostOperation);
        QCOMPARE(server->records().size(), recordsBefore);
        QCOMPARE(server->requests().last().toObject().value("query").toObject().value("type").toString(), QString());
        return;
    }
    QTRY_COMPARE(server->records().size(), recordsBefore + 1);
    const QJsonObject record = server->records().last().toObject();
    QCOMPARE(record.value("contentType").toString(), QStringLiteral("application/json"));
    QCOMPARE(record.value("raw").toString().toUtf8(), posted);
}

void TstFeedback::textLimit()
{
    Widget window;
    window.show();
    auto *text = sandbox::child<QTextEdit>(window, "textEdit");
    const QString pasted = QString(100, QLatin1Char('a')) + QString(50, QLatin1Char('b'));
    text->insertPlainText(pasted);
    QCOMPARE(text->toPlainText(), QString(100, QLatin1Char('a')));
    QCOMPARE(text->textCursor().position(), 100);

    // Typing in the middle of a full text drops what was typed.
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(40);
    text->setTextCursor(cursor);
    QTest::keyClicks(text, QStringLiteral("xyz"));
    QCOMPARE(text->toPlainText(), QString(100, QLatin1Char('a')));
    QCOMPARE(text->textCursor().position(), 40);
}

void TstFeedback::otherBoxFollowsText()
{
    Widget window;
    auto *text = sandbox::child<QTextEdit>(window, "textEdit");
    auto *other = sandbox::child<QCheckBox>(window, "checkOther");
    text->setPlainText(QStringLiteral("原因"));
    QVERIFY(other->isChecked());
    text->clear();
    QVERIFY(!other->isChecked());
    text->setPlainText(QStringLiteral("again"));
    other->setChecked(false);
    QCOMPARE(text->toPlainText(), QString());
}

void TstFeedback::commitFollowsBoxes()
{
    Widget window;
    auto *commit = sandbox::child<QPushButton>(window, "uninstall_commit");
    QVERIFY(!commit->isEnabled());
    sandbox::child<QCheckBox>(window, "check2")->setChecked(true);
    sandbox::child<QCheckBox>(window, "check4")->setChecked(true);
    QVERIFY(commit->isEnabled());
    sandbox::child<QCheckBox>(window, "check2")->setChecked(false);
    QVERIFY(commit->isEnabled());
    sandbox::child<QCheckBox>(window, "check4")->setChecked(false);
    QVERIFY(!commit->isEnabled());
}

void TstFeedback::contactValidator()
{
    Widget window;
    window.show();
    auto *phone = sandbox::child<QLineEdit>(window, "phone");
    QTest::keyClicks(phone, QStringLiteral("a@b.c 1#2_-+"));
    QCOMPARE(phone->text(), QStringLiteral("a@b.c12"));
    phone->clear();
    QTest::keyClicks(phone, QString(40, QLatin1Char('9')));
    QCOMPARE(phone->text(), QString(30, QLatin1Char('9')));
}

// Writes pictures of both pages and the finished state where SCREENSHOT_DIR asks for them.
void TstFeedback::screenshots()
{
    const QString dir = qEnvironmentVariable("SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("SCREENSHOT_DIR not set");
    SingleApp::useClientFont();
    for (const QString &lang : {QString(), QStringLiteral("en_us")}) {
        configure(QString(), lang);
        const QString suffix = lang.isEmpty() ? QStringLiteral("-zh.png") : QStringLiteral("-en.png");
        Widget window;
        window.show();
        waitForReasons(window);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().save(dir + QStringLiteral("/uninstall-confirm") + suffix));
        sandbox::child<QStackedWidget>(window, "stackedWidget")->setCurrentIndex(1);
        sandbox::child<QCheckBox>(window, "check2")->setChecked(true);
        sandbox::child<QTextEdit>(window, "textEdit")->setPlainText(QStringLiteral("希望支持更多材质"));
        QVERIFY(window.grab().save(dir + QStringLiteral("/uninstall-feedback") + suffix));
        sandbox::child<QStackedWidget>(window, "stackedWidget")->deleteLater();
        window.doUninstall();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.grab().save(dir + QStringLiteral("/uninstall-finished") + suffix));
    }
}

QTEST_MAIN(TstFeedback)
#include "tst_feedback.moc"
