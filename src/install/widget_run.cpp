#include "widget.h"

#include "msgbox.h"
#include "outcome.h"
#include "processes.h"
#include "ui_widget.h"

void Widget::on_install_clicked()
{
    ui->minBtn->hide();
    ui->closeBtn->hide();
    if (ui->progressBar->value() == ui->progressBar->maximum()) {
        finishRun();
        return;
    }
    ui->progressBar->show();
    ui->install->hide();
    ui->para->hide();
    setExpanded(false);
    startRun();
}

void Widget::startRun()
{
    run = new InstallRun(client, appDir, version, reporter, this);
    connect(run, &InstallRun::progress, this, &Widget::setProgress);
    connect(run, &InstallRun::finished, this, &Widget::zipOver);
    connect(run, &InstallRun::stepProgress, this, [this](const char *step, int percent) { reporter.progress(step, percent); });
    InstallRun::Options options;
    options.startMenu = ui->startMenu->isChecked();
    options.autorun = ui->autoRun->isChecked();
    run->start(installDir, options);
    installDir = run->installDir();
}

void Widget::setProgress(int value)
{
    setBarValue(ui->progressBar, value);
}

// A run that failed is told, and the installer ends (closing its only window quits).
void Widget::zipOver()
{
    const Outcome outcome = run->outcome();
    if (outcome == Outcome::Done) {
        showFinished();
        return;
    }
    reporter.setOutcome(outcome);
    MsgBox::information(outcome::installMessage(outcome, languageFlag));
    close();
}

void Widget::showFinished()
{
    reporter.progress("done", 100);
    ui->install->setText(languageFlag ? QStringLiteral("开启%1").arg(name) : QStringLiteral("Finish"));
    ui->install->show();
    ui->closeBtn->show();
    if (third.isEmpty() && languageFlag)
        ui->installFaxel->show();
    else
        ui->installFaxel->setChecked(false);
}

// The second press of the install button, once the run is complete.
void Widget::finishRun()
{
    platform::startClient(run->clientExe());
    if (ui->installFaxel->isChecked())
        run->startCompanion();
    close();
}
