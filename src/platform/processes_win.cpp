#include "processes.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <windows.h>

namespace platform {

namespace {

const int toolTimeoutMs = 30000;

QByteArray runTool(const QString &program, const QStringList &arguments, bool *finished)
{
    QProcess tool;
    tool.start(program, arguments, QIODevice::ReadWrite);
    *finished = tool.waitForFinished(toolTimeoutMs);
    return *finished ? tool.readAllStandardOutput() : QByteArray();
}

bool isElevated()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)
                          && GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)
                          && elevation.TokenIsElevated;
    if (token)
        CloseHandle(token);
    return elevated;
}

// A primary token of the desktop shell's user, who started this program before it was
// elevated; null without a shell (a service, a deployment tool's session).
HANDLE shellUserToken()
{
    DWORD pid = 0;
    const HWND shell = GetShellWindow();
    if (!shell || !GetWindowThreadProcessId(shell, &pid) || !pid)
        return nullptr;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    HANDLE token = nullptr;
    HANDLE primary = nullptr;
    if (process && OpenProcessToken(process, TOKEN_DUPLICATE, &token))
        DuplicateTokenEx(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT
                                    | TOKEN_ADJUST_SESSIONID,
                         nullptr, SecurityImpersonation, TokenPrimary, &primary);
    if (token)
        CloseHandle(token);
    if (process)
        CloseHandle(process);
    return primary;
}

QString commandLine(const QString &program, const QStringList &arguments)
{
    QString line = QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"');
    for (const QString &argument : arguments)
        line += QLatin1Char(' ') + argument;
    return line;
}

} // namespace

void loadLibrariesFromSystemOnly()
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

bool runUnelevated(const QString &program, const QStringList &arguments, int timeoutMs)
{
    if (!isElevated()) {
        QProcess process;
        process.start(program, arguments);
        return process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
    }
    HANDLE user = shellUserToken();
    if (!user)
        return false;
    std::wstring line = commandLine(program, arguments).toStdWString();
    const std::wstring folder = QDir::toNativeSeparators(QFileInfo(program).absolutePath()).toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const bool ran = CreateProcessWithTokenW(user, 0, nullptr, &line[0], CREATE_NO_WINDOW, nullptr, folder.c_str(),
                                             &startup, &started);
    CloseHandle(user);
    if (!ran)
        return false;
    const bool ended = WaitForSingleObject(started.hProcess, DWORD(timeoutMs)) == WAIT_OBJECT_0;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return ended;
}

QByteArray taskList(const QString &imageName, bool *finished)
{
    return runTool(QStringLiteral("tasklist.exe"),
                   {QStringLiteral("-fi"), QStringLiteral("imagename eq %1").arg(imageName)},
                   finished);
}

QByteArray taskKill(const QString &imageName, bool *finished)
{
    return runTool(QStringLiteral("taskkill.exe"),
                   {QStringLiteral("-F"), QStringLiteral("/IM"), imageName}, finished);
}

void startClient(const QString &path)
{
    // Explorer reads "/" as the start of a switch: the path goes in native form.
    QProcess::startDetached(QStringLiteral("explorer"), {QDir::toNativeSeparators(path)});
}

} // namespace platform
