#include "startup.h"

#include "basewidget.h"
#include "clientconfig.h"
#include "runcontext.h"
#include "singleapp.h"

int startProgram(SingleApp &app, RunContext &context)
{
    const int early = context.begin(app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        return context.leave(Outcome::AnotherRunning, QStringLiteral("Another program of the client is running."));
    return -1;
}

void prepareWindows(const ClientConfig &config)
{
    SingleApp::useClientFont();
    BaseWidget::languageFlag = config.isChinese();
}
