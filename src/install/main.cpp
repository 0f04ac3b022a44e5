#include "basewidget.h"
#include "preflight.h"
#include "singleapp.h"
#include "unattended.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    Unattended::prepare(Unattended::Program::Install, argc, argv);
    SingleApp app(argc, argv);
    const int early = Unattended::begin(Unattended::Program::Install, app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        Unattended::leave(Unattended::AnotherRunning, QStringLiteral("Another program of the client is running."));
    SingleApp::useClientFont();

    BaseWidget config;
    const bool zh = config.isChinese();
    QString earlierDir;
    if (!installPreflight(config, zh, &earlierDir))
        return Unattended::exitCode();

    Widget w;
    app.raiseOnShowUp(&w);
    w.applyOptions();
    if (Unattended::silent()) {
        // Shown only to Qt: the run and its end are those of the window.
        w.setAttribute(Qt::WA_DontShowOnScreen);
        w.startUnattended(earlierDir);
    } else {
        w.startWithDir(earlierDir);
    }
    w.show();
    app.exec();
    return Unattended::exitCode();
}
