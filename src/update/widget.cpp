#include "widget.h"

#include "processes.h"
#include "ui_widget.h"
#include "updaterun.h"
#include "updatestate.h"

static void registerUpdateResources()
{
    Q_INIT_RESOURCE(update);
}

Widget::Widget(BaseWidget *parent)
    : Widget(Reporter::plain(), DownloadLimits(), parent)
{
}

Widget::Widget(Reporter &reporter, const DownloadLimits &limits, BaseWidget *parent)
    : BaseWidget(parent)
    , ui(new Ui::Widget)
    , reporter(reporter)
{
    registerUpdateResources();
    ui->setupUi(this);
    applyLanguage();
    ui->title->setText(name);
    showEditionLogo(ui->label, installDir);
    // A window closed during a run (by the system, or at log-off: its close button is
    // hidden) takes the run with it, which stops the worker and waits for its thread.
    run = new UpdateRun(client, targetVersion, reporter, limits, this);
    connect(run, &UpdateRun::note, this, &Widget::content);
    connect(run, &UpdateRun::failed, this, &Widget::error);
    connect(run, &UpdateRun::progress, this, &Widget::pro);
    connect(run, &UpdateRun::applied, this, &Widget::applied);
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
    ui->update->setText(QStringLiteral("Update"));
    ui->ut->setText(QStringLiteral("Updates"));
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
    ui->update->setText(languageFlag ? QStringLiteral("更新中") : QStringLiteral("Updating"));
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
    ui->err->setText(outcome::updateMessage(outcome, languageFlag)
                     + (languageFlag ? QStringLiteral("请重试！") : QStringLiteral("Please retry!")));
    ui->update->setText(languageFlag ? QStringLiteral("更新") : QStringLiteral("Update"));
    ui->update->setEnabled(true);
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
    ui->update->setEnabled(true);
    ui->update->setText(languageFlag ? QStringLiteral("完成") : QStringLiteral("Finish"));
    ui->closeBtn->show();
}

void Widget::content(QString note)
{
    ui->textEdit->setText(note);
}
