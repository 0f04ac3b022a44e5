#include "clientconfig.h"
#include "dialogue.h"
#include "maxguard.h"
#include "msgbox.h"
#include "removal.h"
#include "runcontext.h"
#include "singleapp.h"
#include "startup.h"
#include "widget.h"

namespace {

// Without a window: the removal and its self-deleting script, the outcome the exit code.
int uninstallUnattended(RunContext &context, const ClientConfig &config)
{
    Reporter &reporter = context.reporter();
    const Outcome outcome = removeClient(config, [&](int percent) { reporter.progress("remove", percent); }, reporter);
    reporter.setOutcome(outcome);
    if (outcome == Outcome::Done)
        scheduleProductRemoval(config.installDir);
    else
        reporter.tell(outcome::installMessage(outcome, config.isChinese()));
    return context.exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    RunContext::prepare(Program::Uninstall, argc, argv);
    SingleApp app(argc, argv);
    RunContext context(Program::Uninstall);
    const int early = startProgram(app, context);
    if (early >= 0)
        return early;
    const QString appDir = QCoreApplication::applicationDirPath();
    const std::optional<ClientConfig> config = readClientConfig(appDir);
    if (!config) {
        // A removal killed just before its script: only the script is left to do.
        if (isRemovalLeftover(appDir) && scheduleProductRemoval(appDir))
            return context.exitCode();
        return context.leave(Outcome::NotConfigured, outcome::refusal(Outcome::NotConfigured, context.chinese()));
    }
    const bool windows = !context.silent();
    if (windows) {
        prepareWindows(*config);
        MsgBox::englishTitle = QStringLiteral("Prompt");
    }
    if (!maxAllowsUninstall(*config, Dialogue(context.reporter(), windows)))
        return context.exitCode();
    if (!windows)
        return uninstallUnattended(context, *config);

    Widget w(context.reporter());
    app.raiseOnShowUp(&w);
    w.show();
    app.exec();
    return context.exitCode();
}
