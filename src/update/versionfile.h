#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One entry of a file section of the version file.
struct FileItem
{
    QString name;
    QString path;      // joined directly after the installation directory: "/" or "/bin/"
    QString hashCode;  // SHA-1, 40 lower-case hexadecimal digits
    QString local;     // the installed file whose content already matches, if any
};

struct FileLists
{
    QList<FileItem> files;
    QList<FileItem> plugins;
    QStringList regs;
    QStringList bats;
};

// What a version file says. The format: any root element with a "version" attribute;
// its children "files" and "plugins" (entries with "name", "path", "hashCode"), "regs"
// and "bats" (entries with "name"), "prefix" (address of the download service, to
// which "getVersionStream.htm" is appended) and "note" (release note). Sections may
// repeat: entries accumulate, the last prefix wins, every note counts.
struct VersionFile
{
    QString version;
    FileLists lists;
    QString streamUrl;  // empty without a "prefix"
    QStringList notes;
};

// False when the text is not well-formed XML.
bool parseVersionFile(const QByteArray &xml, VersionFile *file);

QByteArray writeVersionFile(const QString &version, const QString &prefix, const QStringList &notes,
                            const QList<FileItem> &files);

// Whether an entry stays inside the directories it is joined to: no drive or stream
// colon, no ".." segment, no absolute name, and a path that is empty or begins with a
// separator.
bool isContainedEntry(const FileItem &item);
