#include "startup.h"

#include "basewidget.h"
#include "clientconfig.h"
#include "programdir.h"
#include "runcontext.h"
#include "singleapp.h"

int startProgram(SingleApp &app, RunContext &context)
{
    const std::optional<ClientConfig> config = readClientConfig(programDir());
    context.setChinese(!config || config->isChinese());
    const int early = context.begin(app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        return context.leave(Outcome::AnotherRunning, outcome::refusal(Outcome::AnotherRunning, context.chinese()));
    return -1;
}

void prepareWindows(const ClientConfig &config)
{
    SingleApp::useClientFont();
    BaseWidget::languageFlag = config.isChinese();
}
