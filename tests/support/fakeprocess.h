#pragma once

#include <QProcess>
#include <QString>

// A long sleep running under a chosen image name (a renamed copy of sleep), standing
// in for 3ds Max or the client. It is ended when the object goes.
class FakeProcess
{
public:
    FakeProcess(const QString &dir, const QString &imageName);
    ~FakeProcess();

    bool isRunning();

private:
    QProcess process;
};
