#include "fakeprocess.h"

#include "sandbox.h"

#include <QStandardPaths>

FakeProcess::FakeProcess(const QString &dir, const QString &imageName)
{
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    process.start(sandbox::copyProgram(sleep, dir, imageName), {QStringLiteral("600")});
    process.waitForStarted();
}

FakeProcess::~FakeProcess()
{
    process.kill();
    process.waitForFinished();
}

bool FakeProcess::isRunning()
{
    // A process killed from outside is only noticed once its end is collected.
    process.waitForFinished(0);
    return process.state() == QProcess::Running;
}
