#include "versionfile.h"

#include <QDomDocument>
#include <QRegularExpression>
#include <QXmlStreamWriter>
#include <QtDebug>

namespace {

QList<FileItem> fileEntries(const QDomElement &section)
{
    QList<FileItem> items;
    for (QDomElement e = section.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        items.append({e.attribute(QStringLiteral("name")), e.attribute(QStringLiteral("path")),
                      e.attribute(QStringLiteral("hashCode")), QString()});
    return items;
}

QStringList names(const QDomElement &section)
{
    QStringList list;
    for (QDomElement e = section.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        list.append(e.attribute(QStringLiteral("name")));
    return list;
}

} // namespace

bool parseVersionFile(const QByteArray &xml, VersionFile *file)
{
    QDomDocument document;
    if (!document.setContent(xml))
        return false;
    const QDomElement root = document.documentElement();
    file->version = root.attribute(QStringLiteral("version"));
    qDebug() << "version file of" << file->version;
    for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        const QString tag = e.tagName();
        if (tag == QLatin1String("files"))
            file->lists.files += fileEntries(e);
        else if (tag == QLatin1String("plugins"))
            file->lists.plugins += fileEntries(e);
        else if (tag == QLatin1String("regs"))
            file->lists.regs += names(e);
        else if (tag == QLatin1String("bats"))
            file->lists.bats += names(e);
        else if (tag == QLatin1String("prefix"))
            file->streamUrl = e.firstChild().nodeValue() + QStringLiteral("getVersionStream.htm");
        else if (tag == QLatin1String("note"))
            file->notes.append(e.firstChild().nodeValue());
    }
    return true;
}

QByteArray writeVersionFile(const QString &version, const QString &prefix, const QStringList &notes,
                            const QList<FileItem> &files)
{
    QByteArray xml;
    QXmlStreamWriter out(&xml);
    out.setAutoFormatting(true);
    out.writeStartDocument();
    out.writeStartElement(QStringLiteral("update"));
    out.writeAttribute(QStringLiteral("version"), version);
    for (const QString &note : notes)
        out.writeTextElement(QStringLiteral("note"), note);
    out.writeTextElement(QStringLiteral("prefix"), prefix);
    out.writeStartElement(QStringLiteral("files"));
    for (const FileItem &item : files) {
        out.writeEmptyElement(QStringLiteral("file"));
        out.writeAttribute(QStringLiteral("name"), item.name);
        out.writeAttribute(QStringLiteral("path"), item.path);
        out.writeAttribute(QStringLiteral("hashCode"), item.hashCode);
    }
    out.writeEndElement();
    out.writeEndElement();
    out.writeEndDocument();
    return xml;
}

bool isContainedEntry(const FileItem &item)
{
    static const QRegularExpression climbs(QStringLiteral("(^|[/\\\\])\\.\\.([/\\\\]|$)"));
    for (const QString &part : {item.path, item.name}) {
        if (part.contains(QLatin1Char(':')) || climbs.match(part).hasMatch())
            return false;
    }
    // The path is joined directly after the directory: without a leading separator it
    // would name a sibling of the new version's directory.
    const bool pathJoinsInside = item.path.isEmpty() || item.path.startsWith(QLatin1Char('/'))
                                 || item.path.startsWith(QLatin1Char('\\'));
    const bool nameIsPlain = !item.name.startsWith(QLatin1Char('/')) && !item.name.startsWith(QLatin1Char('\\'));
    return pathJoinsInside && nameIsPlain;
}
