#include "basewidget.h"
#include "singleapp.h"
#include "unattended.h"
#include "updatestate.h"
#include "versiontext.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    Unattended::prepare(Unattended::Program::Update, argc, argv);
    SingleApp app(argc, argv);
    const int early = Unattended::begin(Unattended::Program::Update, app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        Unattended::leave(Unattended::AnotherRunning, QStringLiteral("Another program of the client is running."));
    // The version becomes part of a directory name, so anything but a plain name
    // counts as no version at all.
    const QStringList arguments = Unattended::positional();
    if (arguments.isEmpty() || !isPlainVersion(arguments.first()))
        Unattended::leave(Unattended::Usage, QStringLiteral("update: give the version to update to (see --help)."));
    SingleApp::useClientFont();

    BaseWidget config;
    config.isChinese();
    // Started beside a package's ZQ.ini there is no installation: the new version would
    // be assembled in the root folder.
    if (config.installDir.isEmpty())
        Unattended::leave(Unattended::NotConfigured, QStringLiteral("No installation to update."));
    targetVersion = arguments.first();

    Widget w;
    app.raiseOnShowUp(&w);
    if (Unattended::silent())
        w.setAttribute(Qt::WA_DontShowOnScreen);
    w.show();
    app.exec();
    return Unattended::exitCode();
}
