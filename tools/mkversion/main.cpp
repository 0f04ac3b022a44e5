// Writes the version file of a release tree: every file with its name, its path as
// the updater joins it ("/" or "/dir/sub/") and its SHA-1.
//   mkversion --version 2.2.0 --prefix http://host/stream/ --note "..." [-o version.xml] TREE
#include "updatework.h"
#include "versionfile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdio>

namespace {

QList<FileItem> releaseFiles(const QString &tree)
{
    const QDir root(QFileInfo(tree).absoluteFilePath());
    QStringList paths;
    QDirIterator it(root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    QList<FileItem> files;
    for (const QString &path : qAsConst(paths)) {
        const QString relative = root.relativeFilePath(path);
        const int slash = relative.lastIndexOf(QLatin1Char('/'));
        const QString dir = slash < 0 ? QStringLiteral("/") : QLatin1Char('/') + relative.left(slash) + QLatin1Char('/');
        files.append({relative.mid(slash + 1), dir, UpdateWork::fileHash(path), QString()});
    }
    return files;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Writes the version file of a release tree."));
    options.addHelpOption();
    options.addOptions({{QStringLiteral("version"), QStringLiteral("The release's version."), QStringLiteral("text")},
                        {QStringLiteral("prefix"), QStringLiteral("Address of the download service, ending in '/'."),
                         QStringLiteral("url")},
                        {QStringLiteral("note"), QStringLiteral("A release note (may repeat)."), QStringLiteral("text")},
                        {{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("Write here, not to stdout."),
                         QStringLiteral("file")}});
    options.addPositionalArgument(QStringLiteral("tree"), QStringLiteral("The files of the release."));
    options.process(app);
    if (options.positionalArguments().size() != 1 || !QFileInfo(options.positionalArguments()[0]).isDir()) {
        std::fputs("mkversion: give one release tree (a directory)\n", stderr);
        return 2;
    }
    const QList<FileItem> files = releaseFiles(options.positionalArguments()[0]);
    const QByteArray xml = writeVersionFile(options.value(QStringLiteral("version")), options.value(QStringLiteral("prefix")),
                                            options.values(QStringLiteral("note")), files);
    if (!options.isSet(QStringLiteral("output"))) {
        std::fwrite(xml.constData(), 1, size_t(xml.size()), stdout);
        return 0;
    }
    QFile out(options.value(QStringLiteral("output")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(xml) != xml.size()) {
        std::fprintf(stderr, "mkversion: cannot write %s\n", qPrintable(out.fileName()));
        return 1;
    }
    std::fprintf(stderr, "mkversion: %d files\n", int(files.size()));
    return 0;
}
