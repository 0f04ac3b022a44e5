#include "widget.h"

#include "msgbox.h"
#include "removal.h"
#include "ui_widget.h"

#include <QCloseEvent>

void Widget::setProgress(int value)
{
    setBarValue(ui->progressBar, value);
    reporter.progress("remove", ui->progressBar->value());
}

void Widget::doUninstall()
{
    ui->minBtn->hide();
    ui->closeBtn->hide();
    ClientConfig config = client;
    config.installDir = installDir;
    const Outcome outcome = removeClient(config, [this](int percent) { setProgress(percent); }, reporter);
    reporter.setOutcome(outcome);
    ui->uninstall_ok->show();
    ui->closeBtn->show();
    // A registration that could not be removed keeps the folder: a rerun still needs it.
    uninstalled = outcome == Outcome::Done;
    if (!uninstalled)
        MsgBox::information(outcome::installMessage(outcome, languageFlag));
}

void Widget::closeEvent(QCloseEvent *event)
{
    if (uninstalled)
        scheduleProductRemoval(installDir);
    event->accept();
}
