#include "versionfile.h"

#include "safepath.h"

#include <QDir>
#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtDebug>

namespace {

// Deeper nesting is no version file; a DOM of it could overflow a thread's stack.
const int maxDepth = 64;

// The text before an element's first child element, as a DOM's first child node reads
// it; blank text does not count. Stops on the child's start or the element's end.
QString leadingText(QXmlStreamReader &xml)
{
    QString text;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters())
            text += xml.text();
        else if (xml.isStartElement() || xml.isEndElement())
            break;
    }
    return text.trimmed().isEmpty() ? QString() : text;
}

// A size that is given but is no byte count makes the entry unusable (-2).
FileItem entry(const QXmlStreamAttributes &a)
{
    FileItem item{a.value(QStringLiteral("name")).toString(), a.value(QStringLiteral("path")).toString(),
                  a.value(QStringLiteral("hashCode")).toString(), QString()};
    if (a.hasAttribute(QStringLiteral("size"))) {
        bool ok = false;
        item.size = a.value(QStringLiteral("size")).toLongLong(&ok);
        if (!ok || item.size < 0)
            item.size = -2;
    }
    return item;
}

qint64 byteCount(const QXmlStreamAttributes &a, const QString &name)
{
    bool ok = false;
    const qint64 n = a.value(name).toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

// A patch entry that names no file inside the release or no base is left out: the file
// is fetched whole.
void takePatch(FileItem *item, const QXmlStreamAttributes &a)
{
    static const QRegularExpression sha1(QStringLiteral("^[0-9a-f]{40}$"));
    FilePatch patch{a.value(QStringLiteral("base")).toString(), byteCount(a, QStringLiteral("baseSize")),
                    a.value(QStringLiteral("path")).toString(), a.value(QStringLiteral("name")).toString(),
                    a.value(QStringLiteral("hashCode")).toString(), byteCount(a, QStringLiteral("size"))};
    const FileItem where{patch.name, patch.path, QString(), QString()};
    if (sha1.match(patch.base).hasMatch() && sha1.match(patch.hashCode).hasMatch() && patch.baseSize >= 0
        && patch.size >= 0 && isContainedEntry(where))
        item->patches.append(patch);
}

void take(VersionFile *file, const QString &section, const QXmlStreamAttributes &a)
{
    if (section == QLatin1String("files"))
        file->lists.files.append(entry(a));
    else if (section == QLatin1String("plugins"))
        file->lists.plugins.append(entry(a));
    else if (section == QLatin1String("regs"))
        file->lists.regs.append(a.value(QStringLiteral("name")).toString());
    else if (section == QLatin1String("bats"))
        file->lists.bats.append(a.value(QStringLiteral("name")).toString());
}

} // namespace

bool parseVersionFile(const QByteArray &bytes, VersionFile *file)
{
    QXmlStreamReader xml(bytes);
    int depth = 0;
    QString section;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement()) {
            --depth;
            continue;
        }
        if (!xml.isStartElement())
            continue;
        if (++depth > maxDepth)
            return false;
        const QString tag = xml.name().toString();
        if (depth == 1) {
            file->version = xml.attributes().value(QStringLiteral("version")).toString();
            file->client = xml.attributes().value(QStringLiteral("client")).toString();
        } else if (depth == 2) {
            section = tag;
            // The text is read here, so the element's end comes with it or after its child.
            if (tag == QLatin1String("prefix") || tag == QLatin1String("note")) {
                const QString text = leadingText(xml);
                if (tag == QLatin1String("prefix"))
                    file->streamUrl = text + QStringLiteral("getVersionStream.htm");
                else
                    file->notes.append(text);
                if (xml.isEndElement())
                    --depth;
                else if (xml.isStartElement() && ++depth > maxDepth)
                    return false;
            }
        } else if (depth == 3) {
            take(file, section, xml.attributes());
        } else if (depth == 4 && tag == QLatin1String("patch")) {
            QList<FileItem> *items = section == QLatin1String("files")     ? &file->lists.files
                                     : section == QLatin1String("plugins") ? &file->lists.plugins
                                                                           : nullptr;
            if (items && !items->isEmpty())
                takePatch(&items->last(), xml.attributes());
        }
    }
    qDebug() << "version file of" << file->version;
    return !xml.hasError();
}

QByteArray writeVersionFile(const QString &version, const QString &prefix, const QStringList &notes,
                            const QList<FileItem> &files, const QString &client)
{
    QByteArray xml;
    QXmlStreamWriter out(&xml);
    out.setAutoFormatting(true);
    out.writeStartDocument();
    out.writeStartElement(QStringLiteral("update"));
    out.writeAttribute(QStringLiteral("version"), version);
    if (!client.isEmpty())
        out.writeAttribute(QStringLiteral("client"), client);
    for (const QString &note : notes)
        out.writeTextElement(QStringLiteral("note"), note);
    out.writeTextElement(QStringLiteral("prefix"), prefix);
    out.writeStartElement(QStringLiteral("files"));
    for (const FileItem &item : files) {
        if (item.patches.isEmpty())
            out.writeEmptyElement(QStringLiteral("file"));
        else
            out.writeStartElement(QStringLiteral("file"));
        out.writeAttribute(QStringLiteral("name"), item.name);
        out.writeAttribute(QStringLiteral("path"), item.path);
        out.writeAttribute(QStringLiteral("hashCode"), item.hashCode);
        if (item.size >= 0)
            out.writeAttribute(QStringLiteral("size"), QString::number(item.size));
        if (item.patches.isEmpty())
            continue;
        for (const FilePatch &patch : item.patches) {
            out.writeEmptyElement(QStringLiteral("patch"));
            out.writeAttribute(QStringLiteral("base"), patch.base);
            out.writeAttribute(QStringLiteral("baseSize"), QString::number(patch.baseSize));
            out.writeAttribute(QStringLiteral("path"), patch.path);
            out.writeAttribute(QStringLiteral("name"), patch.name);
            out.writeAttribute(QStringLiteral("hashCode"), patch.hashCode);
            out.writeAttribute(QStringLiteral("size"), QString::number(patch.size));
        }
        out.writeEndElement();
    }
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndDocument();
    return xml;
}

namespace {

QString slashed(QString part)
{
    return part.replace(QLatin1Char('\\'), QLatin1Char('/'));
}

} // namespace

bool isContainedEntry(const FileItem &item)
{
    static const QRegularExpression climbs(QStringLiteral("(^|[/\\\\])\\.\\.([/\\\\]|$)"));
    for (const QString &part : {item.path, item.name}) {
        if (climbs.match(part).hasMatch() || !isPortableName(part))
            return false;
    }
    // A name that is the folder it is joined to ("." or "a/.") names no file of its own.
    static const QRegularExpression here(QStringLiteral("(^|[/\\\\])\\.([/\\\\]|$)"));
    if (here.match(item.name).hasMatch())
        return false;
    // The path is joined directly after the directory: without a leading separator it
    // would name a sibling of the new version's directory.
    const bool pathJoinsInside = item.path.startsWith(QLatin1Char('/')) || item.path.startsWith(QLatin1Char('\\'));
    const bool nameIsPlain = !item.name.isEmpty() && !item.name.startsWith(QLatin1Char('/'))
                             && !item.name.startsWith(QLatin1Char('\\'));
    return pathJoinsInside && nameIsPlain;
}

bool hasConflictingEntries(const QList<FileItem> &items)
{
    QHash<QString, QString> hashOf;
    for (const FileItem &item : items) {
        const QString key = QDir::cleanPath(slashed(item.path + QLatin1Char('/') + item.name));
        const auto seen = hashOf.constFind(key);
        if (seen != hashOf.constEnd() && seen.value() != item.hashCode)
            return true;
        hashOf.insert(key, item.hashCode);
    }
    return false;
}

QString installedPath(const QString &oldDir, const FileItem &item)
{
    return QDir::cleanPath(oldDir + slashed(item.path + item.name));
}

QString targetPath(const QString &newDir, const FileItem &item)
{
    return QDir::cleanPath(newDir + slashed(item.path + QLatin1Char('/') + item.name));
}
