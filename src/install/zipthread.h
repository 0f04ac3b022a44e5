#pragma once

#include <QStringList>
#include <QThread>

// Extracts the installer's archive on a thread of its own and announces every
// extracted entry with oneOk(), queued to whoever listens on the GUI thread.
class ZipThread : public QThread
{
    Q_OBJECT

public:
    explicit ZipThread(QObject *parent = nullptr);

    void setPaths(QString zipPath, QString destDir);

    // The files the last run extracted, empty when it failed; read after finished().
    QStringList extracted() const;

signals:
    void oneOk();

protected:
    void run() override;

private:
    QString zipPath;
    QString destDir;
    QStringList result;
};
