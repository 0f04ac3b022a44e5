#pragma once

#include "basewidget.h"
#include "unattended.h"

namespace Ui {
class Widget;
}
class QNetworkAccessManager;
class QNetworkReply;
class ZipThread;

// The installer's window: product name, picture, one install button and a collapsible
// options panel. The button starts the install run; the run extracts files.zip on a
// worker thread into a new versioned directory below the chosen one.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);
    ~Widget() override;

    // Installs into the directory chosen at an earlier installation without asking
    // again; an empty directory leaves the window waiting for the user.
    void startWithDir(QString dir);
    // The choices of the command line, as a person would make them in the window; a
    // silent run then starts at once and ends by itself.
    void applyOptions();
    void startUnattended(const QString &earlierDir);

    void setProgress(int value);

    // Entries extracted in this process; three make one percentage point.
    static int extractedCount;

public slots:
    void on_install_clicked();
    void on_para_clicked();
    void on_minBtn_clicked();
    void on_closeBtn_clicked();
    void on_browse_clicked();
    void zipOver();
    void oneOk();

private:
    void applyLanguage();
    void applyEditionLook();
    void setExpanded(bool expanded);
    void startRun();
    void abandonRun();
    void endRun(Unattended::Code code, const QString &message);
    QString clientExe() const;
    QString uninstallExe() const;
    void copyRuntimeLibraries();
    void prepareDataFolder();
    bool nameClient();
    bool brandClient();
    void replaceShortcuts();
    void registerClient();
    void completeRun();
    void removeOtherClientPlugins();
    void sendChannelReport();
    void showFinished();
    void finishRun();
    void finishWhenReported();

    Ui::Widget *ui;
    QString version;
    ZipThread *zipThread = nullptr;
    QString createdByRun;
    QNetworkAccessManager *manager = nullptr;
    QNetworkReply *report = nullptr;
};
