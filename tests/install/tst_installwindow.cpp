#include "installpaths.h"
#include "sandbox.h"
#include "singleapp.h"
#include "widget.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// Answers the directory dialog that is about to open with dir (empty: cancel).
void answerDirectoryDialog(const QString &dir)
{
    QTimer::singleShot(50, [dir] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QFileDialog *>(w)) {
                if (dir.isEmpty()) {
                    dialog->reject();
                } else {
                    // Typed into the name field, as a user would.
                    dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(dir);
                    QMetaObject::invokeMethod(dialog, "accept");
                }
            }
        }
    });
}

} // namespace

class TstInstallWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void look_data();
    void look();
    void collapseAndExpand();
    void defaultTargetWithoutProgramFiles();
    void startWithDirRunsWithoutThePanel();
    void startWithEmptyDirWaits();
    void browse();
    void versionFile_data();
    void versionFile();
    void screenshots();

private:
    void configure(const QString &lang, const QString &third);
};

void TstInstallWindow::initTestCase()
{
    sandbox::writeFile(QStringLiteral("version"), "2.1.0");
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    QVERIFY(icon.save(sandbox::programDir() + QStringLiteral("/ZQ.ico"), "ICO"));
}

void TstInstallWindow::init()
{
    BaseWidget::languageFlag = true;
}

void TstInstallWindow::configure(const QString &lang, const QString &third)
{
    sandbox::writeZqIni(sandbox::programDir(), {{"name", QStringLiteral("星云渲染")}, {"nameEN", "Nimbra Render"},
                                                 {"lang", lang}, {"third", third}, {"exe", "c.exe"}});
}

void TstInstallWindow::look_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("third");
    QTest::addColumn<QStringList>("texts");  // title, install, para, browse, startMenu, autoRun
    QTest::addColumn<bool>("ownLogo");
    QTest::addColumn<QString>("folder");

    const QStringList zh{"星云渲染", "一键安装", "自定义", "浏览", "添加到开始菜单", "开机自启动"};
    const QStringList en{"Nimbra Render", "Install", "Custom", "Browse", "Add to start menu", "Auto-start-system"};
    QTest::newRow("standard-chinese") << "" << "" << zh << true << "Nimbra";
    QTest::newRow("standard-english") << "en_us" << "" << en << true << "Nimbra";
    QTest::newRow("partner-chinese") << "" << "OKARender" << zh << false << "OKARender";
    QTest::newRow("co-branded-english") << "en_us" << "KWRender" << en << false << "Nimbra";
}

void TstInstallWindow::look()
{
    QFETCH(QString, lang);
    QFETCH(QString, third);
    QFETCH(QStringList, texts);
    QFETCH(bool, ownLogo);
    QFETCH(QString, folder);

    configure(lang, third);
    BaseWidget config;
    config.isChinese();
    Widget window;
    QCOMPARE(window.name, texts[0]);
    const QStringList shown{sandbox::child<QLabel>(window, "title")->text(), sandbox::child<QPushButton>(window, "install")->text(),
                            sandbox::child<QPushButton>(window, "para")->text(), sandbox::child<QPushButton>(window, "browse")->text(),
                            sandbox::child<QCheckBox>(window, "startMenu")->text(), sandbox::child<QCheckBox>(window, "autoRun")->text()};
    QCOMPARE(shown, texts);

    auto *logo = sandbox::child<QLabel>(window, "label");
    auto *picture = sandbox::child<QLabel>(window, "label_bg");
    if (ownLogo) {
        QCOMPARE(logo->styleSheet(), QStringLiteral("border-image: url(:/logo.png)"));
        QCOMPARE(picture->styleSheet(), QStringLiteral("background-image: url(:/bg.png);"));
    } else {
        QCOMPARE(logo->pixmap(Qt::ReturnByValue).size(), QSize(16, 16));
        QCOMPARE(picture->styleSheet(), QStringLiteral("background-image: url(:/bg_third.png)"));
    }
    const QString target = QDir::toNativeSeparators(qEnvironmentVariable("PROGRAMFILES")) + QDir::separator() + folder;
    QCOMPARE(window.installDir, target);
    QCOMPARE(sandbox::child<QLineEdit>(window, "path")->text(), target);
    QVERIFY(sandbox::child<QLineEdit>(window, "path")->isReadOnly());
    QVERIFY(sandbox::child<QCheckBox>(window, "startMenu")->isChecked() && sandbox::child<QCheckBox>(window, "autoRun")->isChecked());
    QVERIFY(sandbox::child<QCheckBox>(window, "installFaxel")->isChecked());
    QVERIFY(sandbox::child<QCheckBox>(window, "installFaxel")->isHidden());
    QVERIFY(sandbox::child<QProgressBar>(window, "progressBar")->isHidden());
}

// Never the root of the file system: the per-user programs folder.
void TstInstallWindow::defaultTargetWithoutProgramFiles()
{
    configure(QString(), QString());
    const QByteArray programFiles = qgetenv("PROGRAMFILES");
    qunsetenv("PROGRAMFILES");
    Widget window;
    qputenv("PROGRAMFILES", programFiles);
    QCOMPARE(window.installDir, qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Programs/Nimbra"));
}

void TstInstallWindow::collapseAndExpand()
{
    configure(QString(), QString());
    Widget window;
    window.show();
    auto *para = sandbox::child<QPushButton>(window, "para");
    auto *panel = sandbox::child<QWidget>(window, "widget");
    QCOMPARE(window.height(), 386);
    QVERIFY(!panel->isVisibleTo(&window) || panel->geometry().top() >= sandbox::child<QWidget>(window, "widget_2")->height());

    QTest::mouseClick(para, Qt::LeftButton);
    QCOMPARE(window.height(), 516);
    QCOMPARE(sandbox::child<QWidget>(window, "widget_2")->height(), 510);
    QVERIFY(para->styleSheet().contains(QLatin1String("up.png")));
    QVERIFY(!para->styleSheet().contains(QLatin1String("down.png")));

    QTest::mouseClick(para, Qt::LeftButton);
    QCOMPARE(window.height(), 386);
    QVERIFY(para->styleSheet().contains(QLatin1String("down.png")));
}

void TstInstallWindow::startWithDirRunsWithoutThePanel()
{
    configure(QString(), QString());
    Widget window;
    const QString shownBefore = sandbox::child<QLineEdit>(window, "path")->text();
    window.show();
    window.startWithDir(QDir::tempPath() + QStringLiteral("/earlier"));

    QCOMPARE(window.height(), 386);
    QVERIFY(sandbox::child<QProgressBar>(window, "progressBar")->isVisible());
    for (const char *hidden : {"install", "para", "minBtn", "closeBtn"})
        QVERIFY2(sandbox::child<QPushButton>(window, hidden)->isHidden(), hidden);
    QVERIFY(window.installDir.startsWith(QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/earlier"))
                                         + QDir::separator() + QStringLiteral("NimbraPVX")));
    QCOMPARE(sandbox::child<QLineEdit>(window, "path")->text(), shownBefore);
}

void TstInstallWindow::startWithEmptyDirWaits()
{
    configure(QString(), QString());
    Widget window;
    const QString before = window.installDir;
    window.show();
    window.startWithDir(QString());
    QCOMPARE(window.installDir, before);
    QVERIFY(sandbox::child<QPushButton>(window, "install")->isVisible());
}

void TstInstallWindow::browse()
{
    configure(QString(), QString());
    Widget window;
    window.show();
    const QString chosen = QDir::tempPath() + QStringLiteral("/Tools");
    QDir().mkpath(chosen);
    answerDirectoryDialog(chosen);
    QTest::mouseClick(sandbox::child<QPushButton>(window, "browse"), Qt::LeftButton);
    QCOMPARE(window.installDir, QDir::toNativeSeparators(chosen));
    QCOMPARE(sandbox::child<QLineEdit>(window, "path")->text(), QDir::toNativeSeparators(chosen));
    QCOMPARE(sandbox::child<QLineEdit>(window, "path")->cursorPosition(), 0);

    answerDirectoryDialog(QString());
    QTest::mouseClick(sandbox::child<QPushButton>(window, "browse"), Qt::LeftButton);
    QCOMPARE(window.installDir, QDir::toNativeSeparators(chosen));
}

void TstInstallWindow::versionFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("version");

    QTest::newRow("quoted-with-line-break") << QByteArray("\"2.1.0\"\r\n") << "2.1.0";
    QTest::newRow("spaces") << QByteArray("  2.1.0 \t\n") << "2.1.0";
    QTest::newRow("inner-quotes") << QByteArray("2.\"1\".0") << "2.1.0";
    QTest::newRow("chinese") << QByteArray("2.1-测试") << QStringLiteral("2.1-测试");
    QTest::newRow("empty") << QByteArray("") << "";
    QTest::newRow("only-quotes") << QByteArray("\"\" \n") << "";
    QTest::newRow("climbs") << QByteArray("..") << "";
    QTest::newRow("separator") << QByteArray("2.1/../../x") << "";
    QTest::newRow("backslash") << QByteArray("2.1\\x") << "";
    QTest::newRow("drive") << QByteArray("C:2.1") << "";
    QTest::newRow("control-character") << QByteArray("2.1\x01") << "";
    QTest::newRow("missing") << QByteArray() << "";
}

void TstInstallWindow::versionFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, version);
    const QString path = QDir::tempPath() + QStringLiteral("/version-") + QTest::currentDataTag();
    if (!content.isNull())
        sandbox::writeFile(path, content);
    QCOMPARE(readVersionFile(path), version);
}

// Writes pictures of the window in its states where SCREENSHOT_DIR asks for them.
void TstInstallWindow::screenshots()
{
    const QString dir = qEnvironmentVariable("SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("SCREENSHOT_DIR not set");
    SingleApp::useClientFont();
    for (const QString &lang : {QString(), QStringLiteral("en_us")}) {
        configure(lang, QString());
        BaseWidget config;
        config.isChinese();
        const QString suffix = lang.isEmpty() ? QStringLiteral("-zh.png") : QStringLiteral("-en.png");
        Widget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.grab().save(dir + QStringLiteral("/install-collapsed") + suffix));
        window.on_para_clicked();
        QVERIFY(window.grab().save(dir + QStringLiteral("/install-expanded") + suffix));
        window.on_para_clicked();
        // The run's look, without a run: the button hides and the bar shows.
        sandbox::child<QPushButton>(window, "install")->hide();
        sandbox::child<QPushButton>(window, "para")->hide();
        sandbox::child<QPushButton>(window, "minBtn")->hide();
        sandbox::child<QPushButton>(window, "closeBtn")->hide();
        sandbox::child<QProgressBar>(window, "progressBar")->show();
        window.setProgress(37);
        QVERIFY(window.grab().save(dir + QStringLiteral("/install-running") + suffix));
    }
}

QTEST_MAIN(TstInstallWindow)
#include "tst_installwindow.moc"
