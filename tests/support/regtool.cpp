// Reads and writes the registry from a process of its own:
//   regtool set <key path> <name> <value> | get <key path> <name> | remove <key path> <name>
#include "registry.h"

#include <QCoreApplication>
#include <QScopedPointer>
#include <QSettings>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    QScopedPointer<QSettings> view(platform::openRegistry(args[2]));
    const QString &command = args[1];
    if (command == QLatin1String("set") && args.size() == 5)
        view->setValue(args[3], args[4]);
    else if (command == QLatin1String("get"))
        std::fputs(view->value(args[3]).toString().toUtf8().constData(), stdout);
    else if (command == QLatin1String("remove"))
        view->remove(args[3]);
    else
        return 2;
    view->sync();
    return view->status() == QSettings::NoError ? 0 : 1;
}
