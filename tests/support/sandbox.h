#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

// Files and programs inside the test's sandbox (tests/sandbox-run).
namespace sandbox {

// The running test program's own directory, where ZQ.ini and service.ini are read.
QString programDir();

void writeFile(const QString &path, const QByteArray &bytes);

// Writes ZQ.ini into dir with the given [info] keys, encoded in GB2312 as shipped.
void writeZqIni(const QString &dir, const QMap<QString, QString> &info);

// The registry of the sandbox: a value written (and synced) under a full key path,
// read back (fallback when absent), and both hives emptied.
void setRegistryValue(const QString &key, const QString &name, const QString &value);
QString registryValue(const QString &key, const QString &name, const QString &fallback = QString());
void clearRegistry();

// The keys the programs write: the autorun key, an edition key's uninstall entry and
// its per-user settings.
QString runKey();
QString uninstallKey(const QString &editionKey);
QString settingsKey(const QString &editionKey);

// A registry value, read back as "<absent>" when missing.
QString valueOrAbsent(const QString &key, const QString &name);

// The user's Start-menu programs folder and desktop, where the shortcuts go.
QString startMenuDir();
QString desktopDir();

// A child widget of a window by its object name.
template <typename T>
T *child(QObject &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

// The built programs (install, update, uninstall) and the test helper programs.
QString clientProgram(const QString &name);
QString helperProgram(const QString &name);

// Copies a program into dir (created when missing), under name or its own name.
QString copyProgram(const QString &program, const QString &dir, const QString &name = QString());

struct Run
{
    int exitCode = -1;
    bool finished = false;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (or timeoutMs) and returns what it printed. The program
// starts in its own directory, where the installer looks for its "version" file.
Run run(const QString &program, const QStringList &arguments = {}, int timeoutMs = 30000);

} // namespace sandbox
