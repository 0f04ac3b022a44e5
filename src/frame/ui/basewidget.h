#pragma once

#include "clientconfig.h"

#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QMouseEvent;
class QProgressBar;
class QPaintEvent;
class QSettings;

// Base of every window and message box: a frameless, translucent, draggable window
// with a painted outline, which also carries the client configuration. Each
// construction reads ZQ.ini, service.ini and the registry again and refreshes the
// process-wide values; a program checks that the client is configured before it
// makes its first window.
class BaseWidget : public QWidget
{
    Q_OBJECT

public:
    explicit BaseWidget(QWidget *parent = nullptr);

    // Decides the interface language, stores it in languageFlag and returns it.
    bool isChinese();
    QSettings *settings();

    static QString editionKey();
    static QString iniThird();

    // Our logo in the standard edition; a branded edition's own icon ("ZQ.ico" in
    // iconDir) otherwise, in which case it returns true.
    static bool showEditionLogo(QLabel *logo, const QString &iconDir);
    // Sets a window's progress bar, which hides itself once full; values beyond its
    // range are ignored.
    static void setBarValue(QProgressBar *bar, int value);

    // The system helpers under the names every window has always had (see hostfolders.h,
    // pathremoval.h, processcheck.h, rebranding.h).
    static bool processExists(QString exeName);
    static void killProcess(const QString &exeName);

    // Deletes a file, shortcut or whole tree as far as it can, and the product folder or
    // Start-menu folder it leaves empty; what resists stays, silently.
    static void veryDel(const QString &path);
    // Removes a folder of ours that holds nothing any more; one holding anything stays.
    static void veryDelIfEmpty(const QString &folder);
    // The existing start-up script folders of every registered 3ds Max.
    static QStringList allMaxPath();
    static QString maxInstallDir(int product, QString version);
    static QString readReg(QString key, QString valueName);
    static QString startMenuPath();
    static QString desktopPath();

    // Replaces the executable's icon images 7..1 with the last seven 32-bit images of
    // the icon file (UTF-16 paths); false when the icon file cannot be read or has
    // no 32-bit image.
    static bool ChangeExeIcon(const ushort *iconFile, const ushort *exeFile);
    // Sets the description of the executable's version resource; 1 when written back.
    static int ChangeFileInfo(QString exeFile, QString description);

    // Process-wide configuration, shared by every BaseWidget of the process.
    static QString exe;
    static QString third;
    static bool languageFlag;

    QPoint dragPos;

    QString name;
    QString nameEN;
    QString mark;
    QString lang;
    QString appDir;
    QString installDir;
    QSettings *regUninstall = nullptr;
    QSettings *regRun = nullptr;
    QSettings *regSettings = nullptr;
    QSettings *regCompany = nullptr;
    QString bs;
    ClientConfig client;
    // The edition key this client's records live under: the one its registry record was
    // read from, else the one its edition code names. Only that key is ever removed.
    QString configKey;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    virtual bool canDrag(QMouseEvent *event);

private:
    void loadConfiguration();
};
