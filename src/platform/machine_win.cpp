#include "machine.h"

#include "processor_win32.h"
#include "regread_win32.h"

#include <QtDebug>

namespace platform {

QString readMachineString(const QString &key, const QString &valueName)
{
    long closed = 0;
    const std::wstring value = win32::readMachineString(reinterpret_cast<const wchar_t *>(key.utf16()),
                                                        reinterpret_cast<const wchar_t *>(valueName.utf16()),
                                                        &closed);
    qDebug() << "RegCloseKey" << closed;
    return QString::fromStdWString(value);
}

bool processorInfo(QString *name, int *cores)
{
    std::wstring processor;
    long count = 0;
    const bool ok = win32::queryProcessor(&processor, &count);
    *name = QString::fromStdWString(processor);
    *cores = int(count);
    return ok;
}

} // namespace platform
