#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// A binary patch that makes a file of the release from an earlier one: published below the
// release like a file ("patches" section, path and name), listed inside the file's entry.
struct FilePatch
{
    QString base;       // SHA-1 of the file it applies to
    qint64 baseSize = -1;
    QString path;       // "/<base version>/<the file's path>/"
    QString name;       // "<the file's name>.patch"
    QString hashCode;   // SHA-1 of the patch
    qint64 size = -1;
};

// One entry of a file section of the version file.
struct FileItem
{
    QString name;
    QString path;      // joined directly after the installation directory: "/" or "/bin/"
    QString hashCode;  // SHA-1, 40 lower-case hexadecimal digits
    QString local;     // the installed file whose content already matches, if any
    qint64 size = -1;  // the published size in bytes; -1 when the version file gives none
    QList<FilePatch> patches;  // listed as child elements "patch", which earlier updaters skip
    QString patchBase;         // a kept file one of the patches applies to, if any
    int patch = -1;            // which one
};

struct FileLists
{
    QList<FileItem> files;
    QList<FileItem> plugins;
    QStringList regs;
    QStringList bats;
};

// What a version file says. The format: any root element with a "version" attribute
// (and, in a file made for one edition's client, a "client" attribute naming it); its
// children "files" and "plugins" (entries with "name", "path", "hashCode" and "size", each
// with "patch" children: "base", "baseSize", "path", "name", "hashCode", "size"), "regs"
// and "bats" (entries with "name"), "prefix" (address of the download service, to
// which "getVersionStream.htm" is appended) and "note" (release note). Sections may
// repeat: entries accumulate, the last prefix wins, every note counts.
struct VersionFile
{
    QString version;
    QString client;  // empty in the general file
    FileLists lists;
    QString streamUrl;  // empty without a "prefix"
    QStringList notes;
};

// False when the text is not well-formed XML or nests deeper than any version file.
bool parseVersionFile(const QByteArray &xml, VersionFile *file);

QByteArray writeVersionFile(const QString &version, const QString &prefix, const QStringList &notes,
                            const QList<FileItem> &files, const QString &client = QString());

// Whether an entry names a file inside the directories it is joined to: a path that
// begins with a separator ("/" or "\\", both separate everywhere), a name that does not,
// no ".." segment (nor a "." one in the name), and only segments Windows keeps as given
// (no colon, control character, device name, trailing dot or blank).
bool isContainedEntry(const FileItem &item);

// One file listed twice with different hashes: no version file can mean both.
bool hasConflictingEntries(const QList<FileItem> &items);

// Where an entry's installed file lies below oldDir (path and name joined directly) and
// where the new version's file goes below newDir; backslashes read as separators.
QString installedPath(const QString &oldDir, const FileItem &item);
QString targetPath(const QString &newDir, const FileItem &item);
