#include "basewidget.h"
#include "singleapp.h"
#include "updatestate.h"
#include "versiontext.h"
#include "widget.h"

int main(int argc, char *argv[])
{
    SingleApp app(argc, argv);
    if (app.exist())
        return 0;
    // The version becomes part of a directory name, so anything but a plain name
    // counts as no version at all.
    if (argc < 2 || !isPlainVersion(QString::fromUtf8(argv[1])))
        return 0;
    SingleApp::useClientFont();

    BaseWidget config;
    config.isChinese();
    targetVersion = QString::fromUtf8(argv[1]);

    Widget w;
    app.raiseOnShowUp(&w);
    w.show();
    return app.exec();
}
