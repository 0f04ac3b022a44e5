#include "basewidget.h"
#include "preflight.h"
#include "singleapp.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    SingleApp app(argc, argv);
    if (app.exist())
        return 0;
    SingleApp::useClientFont();

    BaseWidget config;
    const bool zh = config.isChinese();
    QString earlierDir;
    if (!installPreflight(config, zh, &earlierDir))
        return 0;

    Widget w;
    app.raiseOnShowUp(&w);
    w.startWithDir(earlierDir);
    w.show();
    return app.exec();
}
