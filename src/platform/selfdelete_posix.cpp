#include "selfdelete.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace platform {

namespace {

QByteArray shellQuoted(const QString &text)
{
    QByteArray bytes = QFile::encodeName(text);
    bytes.replace('\'', "'\\''");
    return '\'' + bytes + '\'';
}

} // namespace

QString selfDeleteScript()
{
    return QDir::tempPath() + QStringLiteral("/ClearPVX.sh");
}

bool startSelfDelete(const QString &productDir, const QString &emptyParent)
{
    const QString path = selfDeleteScript();
    // A file of that name that someone else placed must not be run with our rights.
    if (QFile::exists(path) && !QFile::remove(path))
        return false;
    QFile script(path);
    if (!script.open(QIODevice::NewOnly | QIODevice::WriteOnly))
        return false;
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    script.write("sleep 1\n");
    script.write("rm -rf -- " + shellQuoted(QDir(productDir).absolutePath()) + "\n");
    if (!emptyParent.isEmpty())
        script.write("rmdir -- " + shellQuoted(QDir(emptyParent).absolutePath()) + " 2>/dev/null\n");
    script.write("rm -f -- \"$0\"\n");
    script.close();
    return QProcess::startDetached(QStringLiteral("/bin/sh"), {path});
}

} // namespace platform
