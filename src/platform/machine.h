#pragma once

#include <QString>

namespace platform {

// A string value under HKEY_LOCAL_MACHINE\key, from the 64-bit registry view. Values
// longer than 1024 bytes (512 UTF-16 units) read as empty; the text ends at a NUL.
QString readMachineString(const QString &key, const QString &valueName);

// The processor's name and core count; false when the system would not say.
bool processorInfo(QString *name, int *cores);

// The processor's name and core count from the text of /proc/cpuinfo; the last
// processor listed counts, as with several processor objects on Windows.
bool parseCpuInfo(const QString &text, QString *name, int *cores);

} // namespace platform
