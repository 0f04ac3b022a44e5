#include "zipthread.h"

#include "extractdir.h"

ZipThread::ZipThread(QObject *parent)
    : QThread(parent)
{
}

void ZipThread::setPaths(QString zipPath, QString destDir)
{
    this->zipPath = zipPath;
    this->destDir = destDir;
}

QStringList ZipThread::extracted() const
{
    return result;
}

void ZipThread::run()
{
    QObject notifier;
    connect(&notifier, &QObject::objectNameChanged, this, &ZipThread::oneOk);
    result = PVXextractDir(zipPath, destDir, &notifier);
}
