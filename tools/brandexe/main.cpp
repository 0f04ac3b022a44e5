// Brands a client for an edition when the release is built, as the installer and the
// updater would brand it in place: the icon file's images and the edition's display
// name. Signed afterwards, the client keeps its signature, because the installer and
// the updater leave a client that already carries the branding as it is.
//   brandexe ICON.ico "DISPLAY NAME" CLIENT.exe
#include "rebrand.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: brandexe ICON.ico \"DISPLAY NAME\" CLIENT.exe\n");
        return 2;
    }
    const auto path = [](const QString &name) { return std::filesystem::path(QFile::encodeName(name).toStdString()); };
    const std::u16string name = args[2].toStdU16String();
    const auto quiet = [](const std::string &) {};
    // Each step reports success even where it only logs a failed write: the check says
    // whether the file now carries the branding.
    if (!pe::changeExeIcon(path(args[1]), path(args[3]), quiet) || !pe::changeFileInfo(path(args[3]), name, quiet)
        || !pe::carriesBranding(path(args[1]), path(args[3]), name)) {
        std::fprintf(stderr, "brandexe: %s was not branded (unreadable icon or executable, or no version "
                             "information)\n", qPrintable(args[3]));
        return 1;
    }
    return 0;
}
