#pragma once

#include "basewidget.h"

namespace Ui {
class Widget;
}
class QThread;
class UpdateWork;

// The updater's window: starts the update at once, shows the release note, the progress
// and a one-line error with a retry, applies the finished directory (name, brand,
// registry, shortcuts) and, on the last click, starts the updated client.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);
    ~Widget() override;

    // How long closing the window waits for a running worker to stop.
    static int stopWaitMs;

public slots:
    void on_minBtn_clicked();
    void on_closeBtn_clicked();
    void on_update_clicked();
    void error(int code);
    void pro(int value);
    void content(QString note);

private:
    void applyLanguage();
    void startRun();
    void stopRun();
    void releaseRun();
    bool apply();
    bool nameClient(const QString &exePath);
    bool brandClient(const QString &exePath);
    void repointRegistry(const QString &exePath, const QString &uninstPath);
    void replaceShortcuts(const QString &exePath, const QString &uninstPath);

    Ui::Widget *ui;
    QThread *thread = nullptr;
    UpdateWork *worker = nullptr;
    QString newDir;
};
