#include "widget.h"

#include "processes.h"
#include "rollbackrun.h"
#include "ui_widget.h"
#include "updaterun.h"
#include "updatestate.h"

Widget::Widget(BaseWidget *parent)
    : Widget(Reporter::plain(), DownloadLimits(), Task::Update, parent)
{
}

Widget::Widget(Reporter &reporter, const DownloadLimits &limits, Task task, BaseWidget *parent)
    : BaseWidget(parent)
    , ui(new Ui::Widget)
    , reporter(reporter)
    , task(task)
{
    ui->setupUi(this);
    applyLanguage();
    ui->title->setText(name);
    showEditionLogo(ui->label, installDir);
    // A window closed during a run (by the system, or at log-off: its close button is
    // hidden) takes the run with it, which stops the worker and waits for its thread.
    if (task == Task::Rollback)
        run = new RollbackRun(client, reporter, this);
    else
        run = new UpdateRun(client, targetVersion, reporter, limits, this);
    connect(run, &VersionRun::note, this, &Widget::content);
    connect(run, &VersionRun::failed, this, &Widget::error);
    connect(run, &VersionRun::progress, this, &Widget::pro);
    connect(run, &VersionRun::applied, this, &Widget::applied);
    on_update_clicked();
}

Widget::~Widget()
{
    delete run;
    delete ui;
}

void Widget::applyLanguage()
{
    if (languageFlag)
        return;
    name = nameEN;
    ui->update->setText(buttonText(false));
    ui->ut->setText(QStringLiteral("Updates"));
}

QString Widget::buttonText(bool running) const
{
    if (task == Task::Rollback)
        return languageFlag ? QString::fromUtf8(running ? "回退中" : "回退")
                            : QString::fromLatin1(running ? "Rolling back" : "Roll back");
    return languageFlag ? QString::fromUtf8(running ? "更新中" : "更新")
                        : QString::fromLatin1(running ? "Updating" : "Update");
}

void Widget::on_minBtn_clicked()
{
    showMinimized();
}

void Widget::on_closeBtn_clicked()
{
    close();
}

void Widget::on_update_clicked()
{
    ui->update->setText(buttonText(true));
    ui->update->setEnabled(false);
    ui->minBtn->hide();
    ui->closeBtn->hide();
    ui->err->clear();
    if (finished) {
        platform::startClient(run->clientExe());
        close();
        return;
    }
    run->start();
}

void Widget::error(Outcome outcome)
{
    ui->err->setText(outcome::updateFailure(outcome, languageFlag));
    // Nothing to go back to stays so however often it is tried.
    ui->update->setText(buttonText(false));
    ui->update->setEnabled(outcome != Outcome::NothingToRollBack);
    ui->closeBtn->show();
}

void Widget::pro(int value)
{
    ui->progressBar->setValue(value);
    reporter.progress("download", value);
}

void Widget::applied()
{
    reporter.progress("apply", 100);
    finished = true;
    // Which version is now in place, above its note.
    const QString version = run->version();
    if (task == Task::Rollback)
        ui->ut->setText(languageFlag ? QStringLiteral("已回退到版本 %1").arg(version)
                                     : QStringLiteral("Rolled back to version %1").arg(version));
    else
        ui->ut->setText(languageFlag ? QStringLiteral("已更新到版本 %1").arg(version)
                                     : QStringLiteral("Updated to version %1").arg(version));
    ui->update->setEnabled(true);
    ui->update->setText(languageFlag ? QStringLiteral("完成") : QStringLiteral("Finish"));
    ui->closeBtn->show();
}

void Widget::content(QString note)
{
    ui->textEdit->setText(note);
}
