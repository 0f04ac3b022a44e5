#include "widget.h"

#include "processes.h"
#include "ui_widget.h"
#include "unattended.h"
#include "updatestate.h"
#include "updatework.h"

#include <QDir>
#include <QThread>
#include <QTime>
#include <QtDebug>

int Widget::stopWaitMs = 10000;

static void registerUpdateResources()
{
    Q_INIT_RESOURCE(update);
}

Widget::Widget(BaseWidget *parent)
    : BaseWidget(parent)
    , ui(new Ui::Widget)
{
    registerUpdateResources();
    ui->setupUi(this);
    applyLanguage();
    ui->title->setText(name);
    showEditionLogo(ui->label, installDir);
    ::oldDir = QString(installDir).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString parentDir = QFileInfo(QDir::fromNativeSeparators(installDir)).absolutePath();
    newDir = QDir::toNativeSeparators(parentDir) + QLatin1Char('\\')
             + QStringLiteral("%1.%2").arg(targetVersion, QTime::currentTime().toString(QStringLiteral("sszzz")));
    newDir.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ::newDir = newDir;
    qDebug() << ::oldDir << newDir;
    on_update_clicked();
}

// A window closed during a run (by the system, or at log-off: its close button is hidden)
// stops the worker and waits for its thread, which must not outlive the window.
Widget::~Widget()
{
    stopRun();
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
    if (thread) {
        platform::startClient(newDir + QDir::separator() + exe);
        close();
        return;
    }
    startRun();
}

void Widget::startRun()
{
    thread = new QThread;
    worker = new UpdateWork;
    connect(worker, &UpdateWork::content, this, &Widget::content);
    connect(worker, &UpdateWork::error, this, &Widget::error);
    connect(worker, &UpdateWork::pro, this, &Widget::pro);
    worker->moveToThread(thread);
    thread->start();
    QMetaObject::invokeMethod(worker, "start", Q_ARG(bool, !languageFlag), Q_ARG(QString, third));
}

// The worker has stopped by itself when it reports a failure: released without a wait.
// The thread object goes once its loop has ended; deleted earlier it would abort the
// process.
void Widget::releaseRun()
{
    if (!thread)
        return;
    worker->deleteLater();
    worker = nullptr;
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->quit();
    thread = nullptr;
}

void Widget::stopRun()
{
    if (!thread)
        return;
    disconnect(worker, nullptr, this, nullptr);
    QMetaObject::invokeMethod(worker, "cancel");
    thread->quit();
    if (thread->wait(stopWaitMs)) {
        delete worker;
        delete thread;
    } else {
        qDebug() << "update thread still running";
        worker->deleteLater();
        thread->deleteLater();
    }
    worker = nullptr;
    thread = nullptr;
}

void Widget::error(int code)
{
    QString message;
    switch (code) {
    case -1: message = languageFlag ? QStringLiteral("获取更新文件列表失败！") : QStringLiteral("File list error!"); break;
    case -2: message = languageFlag ? QStringLiteral("下载文件失败！") : QStringLiteral("File download error!"); break;
    case -3: message = languageFlag ? QStringLiteral("重命名文件失败！") : QStringLiteral("Rename file error!"); break;
    case -4: message = languageFlag ? QStringLiteral("换图标失败！") : QStringLiteral("Change icon error!"); break;
    default: break;
    }
    ui->err->setText(message + (languageFlag ? QStringLiteral("请重试！") : QStringLiteral("Please retry!")));
    releaseRun();
    if (Unattended::silent()) {
        Unattended::setOutcome(Unattended::codeOfUpdateError(code));
        Unattended::tell(ui->err->text());
        close();
        return;
    }
    ui->update->setText(languageFlag ? QStringLiteral("更新") : QStringLiteral("Update"));
    ui->update->setEnabled(true);
    ui->closeBtn->show();
}

void Widget::pro(int value)
{
    ui->progressBar->setValue(value);
    Unattended::progress("download", value);
    if (value != 100 || !apply())
        return;
    Unattended::progress("apply", 100);
    // A deployment starts the client when it chooses to.
    if (Unattended::silent()) {
        close();
        return;
    }
    ui->update->setEnabled(true);
    ui->update->setText(languageFlag ? QStringLiteral("完成") : QStringLiteral("Finish"));
    ui->closeBtn->show();
}

void Widget::content(QString note)
{
    ui->textEdit->setText(note);
}
