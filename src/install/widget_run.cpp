#include "widget.h"

#include "changelog.h"
#include "installpaths.h"
#include "msgbox.h"
#include "ui_widget.h"
#include "unattended.h"
#include "zipthread.h"

#include <QDir>
#include <QFile>
#include <QTime>
#include <QtDebug>

int Widget::extractedCount = 0;

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
    const QString zipPath = appDir + QStringLiteral("/files.zip");
    qDebug() << "exist zip" << QFile::exists(zipPath);

    // The window owns the thread and waits for it when it goes.
    zipThread = new ZipThread(this);
    connect(zipThread, &ZipThread::finished, this, &Widget::zipOver);
    connect(zipThread, &ZipThread::oneOk, this, &Widget::oneOk);

    installDir = versionedInstallDir(installDir, third, version, QTime::currentTime());
    // Remembered so that a failed run takes away exactly the folders it made.
    createdByRun = firstMissingDir(installDir);
    zipThread->setPaths(zipPath, installDir);
    zipThread->start();
    setProgress(10);
}

void Widget::oneOk()
{
    ++extractedCount;
    setProgress(extractedCount / 3);
}

void Widget::setProgress(int value)
{
    setBarValue(ui->progressBar, value);
    const int percent = ui->progressBar->value();
    Unattended::progress(percent < 40 ? "extract" : percent < 100 ? "deploy" : "done", percent);
}

// A client that is not whole must not be registered: the run's folders go, the user
// is told, and the installer ends (closing its only window quits with 0).
void Widget::abandonRun()
{
    if (!createdByRun.isEmpty())
        ChangeLog::record("remove", "dir", createdByRun, QDir(createdByRun).removeRecursively());
    endRun(Unattended::ExtractFailed, languageFlag ? QStringLiteral("解压文件失败") : QStringLiteral("Extract file error"));
}
