#pragma once

#include "basewidget.h"
#include "downloadlimits.h"
#include "outcome.h"
#include "reporter.h"

namespace Ui {
class Widget;
}
class VersionRun;

// The updater's window: starts the update run (or the rollback) at once, shows the
// release note, the progress and a one-line error with a retry and, on the last click,
// starts the client put in place.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);
    // Tells the run's steps through the reporter main owns; the run's requests bounded by
    // limits (tests shorten the time-outs).
    enum class Task { Update, Rollback };
    Widget(Reporter &reporter, const DownloadLimits &limits, Task task = Task::Update, BaseWidget *parent = nullptr);
    ~Widget() override;

public slots:
    void on_minBtn_clicked();
    void on_closeBtn_clicked();
    void on_update_clicked();
    void error(Outcome outcome);
    void pro(int value);
    void content(QString note);
    void applied();

private:
    void applyLanguage();
    QString buttonText(bool running) const;

    Ui::Widget *ui;
    Reporter &reporter;
    VersionRun *run = nullptr;
    Task task;
    bool finished = false;
};
