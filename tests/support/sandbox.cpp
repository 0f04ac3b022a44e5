#include "sandbox.h"

#include "registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopedPointer>
#include <QSettings>
#include <QStandardPaths>
#include <QTextCodec>
#include <QtTest>

namespace sandbox {

QString programDir()
{
    return QCoreApplication::applicationDirPath();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(bytes);
}

void writeZqIni(const QString &dir, const QMap<QString, QString> &info)
{
    QTextCodec *gb2312 = QTextCodec::codecForName("GB2312");
    QByteArray text = "[info]\r\n";
    for (auto it = info.cbegin(); it != info.cend(); ++it)
        text += it.key().toLatin1() + '=' + gb2312->fromUnicode(it.value()) + "\r\n";
    writeFile(dir + QStringLiteral("/ZQ.ini"), text);
}

QString runKey()
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
}

QString uninstallKey(const QString &editionKey)
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + editionKey;
}

QString settingsKey(const QString &editionKey)
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\%1\\Settings").arg(editionKey);
}

QString valueOrAbsent(const QString &key, const QString &name)
{
    return registryValue(key, name, QStringLiteral("<absent>"));
}

QString startMenuDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
}

QString desktopDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

void setRegistryValue(const QString &key, const QString &name, const QString &value)
{
    QScopedPointer<QSettings> view(platform::openRegistry(key));
    view->setValue(name, value);
}

QString registryValue(const QString &key, const QString &name, const QString &fallback)
{
    QScopedPointer<QSettings> view(platform::openRegistry(key));
    return view->value(name, fallback).toString();
}

void clearRegistry()
{
    QFile::remove(platform::registryFile(QStringLiteral("HKEY_CURRENT_USER")));
    QFile::remove(platform::registryFile(QStringLiteral("HKEY_LOCAL_MACHINE")));
}

QString clientProgram(const QString &name)
{
    return QStringLiteral(CLIENT_BIN_DIR "/") + name;
}

QString helperProgram(const QString &name)
{
    return QStringLiteral(TEST_HELPER_DIR "/") + name;
}

QString copyProgram(const QString &program, const QString &dir, const QString &name)
{
    QDir().mkpath(dir);
    const QString target = dir + QLatin1Char('/') + (name.isEmpty() ? QFileInfo(program).fileName() : name);
    QFile::remove(target);
    if (!QFile::copy(program, target))
        qWarning() << "cannot copy" << program << "to" << target;
    return target;
}

Run run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    process.start(program, arguments);
    Run result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace sandbox
