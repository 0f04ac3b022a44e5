#pragma once

#include "basewidget.h"
#include "installrun.h"

namespace Ui {
class Widget;
}

// The installer's window: product name, picture, one install button and a collapsible
// options panel. The button starts the install run (InstallRun) with the options as
// checked; the window shows its progress and its end.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);
    // Tells the run's steps and outcome through the reporter main owns.
    explicit Widget(Reporter &reporter, BaseWidget *parent = nullptr);
    ~Widget() override;

    // Installs into the directory chosen at an earlier installation without asking
    // again; an empty directory leaves the window waiting for the user.
    void startWithDir(QString dir);
    // Choices made before the window, as a person would make them in it.
    void applyOptions(const InstallRun::Options &options);

    void setProgress(int value);

public slots:
    void on_install_clicked();
    void on_para_clicked();
    void on_minBtn_clicked();
    void on_closeBtn_clicked();
    void on_browse_clicked();
    void zipOver();

private:
    void applyLanguage();
    void applyEditionLook();
    void setExpanded(bool expanded);
    void startRun();
    void showFinished();
    void finishRun();

    Ui::Widget *ui;
    Reporter &reporter;
    QString version;
    InstallRun *run = nullptr;
};
