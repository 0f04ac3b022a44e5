#include "basewidget.h"
#include "maxguard.h"
#include "msgbox.h"
#include "singleapp.h"
#include "unattended.h"
#include "widget.h"

#include <QTimer>

int main(int argc, char *argv[])
{
    Unattended::prepare(Unattended::Program::Uninstall, argc, argv);
    SingleApp app(argc, argv);
    const int early = Unattended::begin(Unattended::Program::Uninstall, app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        Unattended::leave(Unattended::AnotherRunning, QStringLiteral("Another program of the client is running."));
    SingleApp::useClientFont();
    MsgBox::englishTitle = QStringLiteral("Prompt");

    BaseWidget config;
    if (!maxAllowsUninstall(config.isChinese()))
        return Unattended::exitCode();

    Widget w;
    app.raiseOnShowUp(&w);
    if (Unattended::silent()) {
        // Shown only to Qt: the removal and its self-deleting script are those of the window.
        w.setAttribute(Qt::WA_DontShowOnScreen);
        QTimer::singleShot(0, &w, [&w] {
            w.doUninstall();
            w.close();
        });
    }
    w.show();
    app.exec();
    return Unattended::exitCode();
}
