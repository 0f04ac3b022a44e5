#include "console.h"

#include <QByteArray>
#include <QtGlobal>

#include <csignal>

namespace platform {

void prepareUnattendedRun()
{
    // Render nodes have no display; a platform chosen by the caller still counts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}

void ignoreClosedOutput()
{
    std::signal(SIGPIPE, SIG_IGN);
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
           || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace platform
