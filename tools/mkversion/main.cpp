// Writes the version file of a release tree: every file with its name, its path as
// the updater joins it ("/" or "/dir/sub/") and its SHA-1.
//   mkversion --version 2.2.0 --prefix http://host/stream/ --note "..." [-o version.xml] TREE
//   mkversion --new-key NAME                  writes NAME.key (private, owner only) and NAME.pub
//   mkversion --sign NAME.key -o version.xml ...   also writes version.xml.sig
//   mkversion --patches-from ROOT --patch-dir DIR ...  lists binary patches from the newest
//                                             releases below ROOT, written below DIR
#include "patches.h"
#include "signature.h"
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
        files.append({relative.mid(slash + 1), dir, UpdateWork::fileHash(path), QString(), QFileInfo(path).size()});
    }
    return files;
}

// The private key is readable by its owner only, from before its first byte is written.
int newKey(const QString &name)
{
    QByteArray privatePem;
    QByteArray publicBase64;
    if (!signature::newKeyPair(&privatePem, &publicBase64)) {
        std::fputs("mkversion: cannot make a key pair\n", stderr);
        return 1;
    }
    QFile key(name + QStringLiteral(".key"));
    QFile pub(name + QStringLiteral(".pub"));
    if (key.exists() || !key.open(QIODevice::WriteOnly)
        || !key.setPermissions(QFile::ReadOwner | QFile::WriteOwner) || key.write(privatePem) != privatePem.size()
        || !pub.open(QIODevice::WriteOnly | QIODevice::Truncate) || pub.write(publicBase64 + '\n') <= 0) {
        std::fprintf(stderr, "mkversion: cannot write %s (an existing key is never replaced)\n", qPrintable(key.fileName()));
        return 1;
    }
    std::fprintf(stderr, "mkversion: public key %s\n", publicBase64.constData());
    return 0;
}

bool writeSignature(const QString &keyFile, const QString &output, const QByteArray &xml)
{
    QFile key(keyFile);
    const QByteArray sig = key.open(QIODevice::ReadOnly) ? signature::sign(key.readAll(), xml) : QByteArray();
    QFile out(output + QStringLiteral(".sig"));
    return !sig.isEmpty() && out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(sig + '\n') > 0;
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
                        {QStringLiteral("client"),
                         QStringLiteral("The edition's client this file is made for (oka, u3d); none for the general file."),
                         QStringLiteral("client")},
                        {{QStringLiteral("o"), QStringLiteral("output")}, QStringLiteral("Write here, not to stdout."),
                         QStringLiteral("file")},
                        {QStringLiteral("new-key"), QStringLiteral("Make a key pair NAME.key and NAME.pub, and stop."),
                         QStringLiteral("NAME")},
                        {QStringLiteral("sign"), QStringLiteral("Sign the version file with this private key (needs -o)."),
                         QStringLiteral("key")},
                        {QStringLiteral("patches-from"),
                         QStringLiteral("Make binary patches from the earlier releases in this publish root."),
                         QStringLiteral("root")},
                        {QStringLiteral("patch-dir"), QStringLiteral("Where the patches go (with --patches-from)."),
                         QStringLiteral("dir")},
                        {QStringLiteral("delta-from"), QStringLiteral("How many earlier releases patches start from (3)."),
                         QStringLiteral("n"), QStringLiteral("3")}});
    options.addPositionalArgument(QStringLiteral("tree"), QStringLiteral("The files of the release."));
    options.process(app);
    if (options.isSet(QStringLiteral("new-key")))
        return newKey(options.value(QStringLiteral("new-key")));
    if (options.positionalArguments().size() != 1 || !QFileInfo(options.positionalArguments()[0]).isDir()) {
        std::fputs("mkversion: give one release tree (a directory)\n", stderr);
        return 2;
    }
    QList<FileItem> files = releaseFiles(options.positionalArguments()[0]);
    if (options.isSet(QStringLiteral("patches-from"))) {
        const PatchPlan plan{options.value(QStringLiteral("patches-from")), options.value(QStringLiteral("version")),
                             options.value(QStringLiteral("delta-from")).toInt(), options.value(QStringLiteral("patch-dir"))};
        if (plan.out.isEmpty() || plan.releases < 0) {
            std::fputs("mkversion: --patches-from needs --patch-dir and --delta-from a count\n", stderr);
            return 2;
        }
        const int made = addPatches(files, options.positionalArguments()[0], plan);
        if (made < 0) {
            std::fprintf(stderr, "mkversion: cannot write the patches below %s\n", qPrintable(plan.out));
            return 1;
        }
        std::fprintf(stderr, "mkversion: %d patches\n", made);
    }
    const QByteArray xml = writeVersionFile(options.value(QStringLiteral("version")), options.value(QStringLiteral("prefix")),
                                            options.values(QStringLiteral("note")), files,
                                            options.value(QStringLiteral("client")));
    if (!options.isSet(QStringLiteral("output"))) {
        if (options.isSet(QStringLiteral("sign"))) {
            std::fputs("mkversion: --sign needs -o\n", stderr);
            return 2;
        }
        std::fwrite(xml.constData(), 1, size_t(xml.size()), stdout);
        return 0;
    }
    QFile out(options.value(QStringLiteral("output")));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(xml) != xml.size()) {
        std::fprintf(stderr, "mkversion: cannot write %s\n", qPrintable(out.fileName()));
        return 1;
    }
    out.close();
    if (options.isSet(QStringLiteral("sign")) && !writeSignature(options.value(QStringLiteral("sign")), out.fileName(), xml)) {
        std::fprintf(stderr, "mkversion: cannot sign with %s\n", qPrintable(options.value(QStringLiteral("sign"))));
        return 1;
    }
    std::fprintf(stderr, "mkversion: %d files\n", int(files.size()));
    return 0;
}
