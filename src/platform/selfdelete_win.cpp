#include "selfdelete.h"

#include "selfdelete_win32.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace platform {

QString selfDeleteScript()
{
    return QDir::rootPath() + QStringLiteral("ClearPVX.bat");
}

bool startSelfDelete(const QString &productDir, const QString &emptyParent)
{
    const QString path = QDir::toNativeSeparators(selfDeleteScript());
    const QString folder = QDir::toNativeSeparators(QDir(productDir).absolutePath());
    const QString parent = emptyParent.isEmpty() ? QString() : QDir::toNativeSeparators(QDir(emptyParent).absolutePath());
    const std::string text = win32::clearBatchText(folder.toLocal8Bit().toStdString(), parent.toLocal8Bit().toStdString());
    if (!win32::writeFreshProtectedFile(reinterpret_cast<const wchar_t *>(path.utf16()), text))
        return false;
    // Started in the drive root: a working folder inside the product folder could not be removed.
    return QProcess::startDetached(QStringLiteral("cmd.exe"), {QStringLiteral("/c"), path},
                                   QFileInfo(selfDeleteScript()).absolutePath());
}

} // namespace platform
