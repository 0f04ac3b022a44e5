#include "console.h"

#include <QByteArray>

namespace platform {

void prepareUnattendedRun()
{
    // Render nodes have no display; a platform chosen by the caller still counts.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
}

} // namespace platform
