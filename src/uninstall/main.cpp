#include "basewidget.h"
#include "maxguard.h"
#include "msgbox.h"
#include "singleapp.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    SingleApp app(argc, argv);
    if (app.exist())
        return 0;
    SingleApp::useClientFont();
    MsgBox::englishTitle = QStringLiteral("Prompt");

    BaseWidget config;
    if (!maxAllowsUninstall(config.isChinese()))
        return 0;

    Widget w;
    app.raiseOnShowUp(&w);
    w.show();
    return app.exec();
}
