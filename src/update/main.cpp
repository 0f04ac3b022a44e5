#include "clientconfig.h"
#include "rollbackrun.h"
#include "runcontext.h"
#include "singleapp.h"
#include "startup.h"
#include "updaterun.h"
#include "updatestate.h"
#include "versiontext.h"
#include "widget.h"

namespace {

// Without a window: the same run, its outcome the exit code.
int runUnattended(QCoreApplication &app, RunContext &context, const ClientConfig &config, VersionRun &run)
{
    Reporter &reporter = context.reporter();
    QObject::connect(&run, &VersionRun::progress, [&](int percent) { reporter.progress("download", percent); });
    QObject::connect(&run, &VersionRun::failed, [&](Outcome outcome) {
        reporter.setOutcome(outcome);
        reporter.tell(outcome::updateFailure(outcome, config.isChinese()));
        app.quit();
    });
    QObject::connect(&run, &VersionRun::applied, [&] {
        reporter.progress("apply", 100);
        app.quit();
    });
    run.start();
    app.exec();
    return context.exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    RunContext::prepare(Program::Update, argc, argv);
    SingleApp app(argc, argv);
    RunContext context(Program::Update);
    const int early = startProgram(app, context);
    if (early >= 0)
        return early;
    // The version becomes part of a directory name, so anything but a plain name
    // counts as no version at all.
    const QStringList arguments = context.commandLine().positional;
    const bool rollback = context.commandLine().rollback;
    if (rollback && !arguments.isEmpty())
        return context.leave(Outcome::Usage, QStringLiteral("update: --rollback takes no version (see --help)."));
    if (!rollback && (arguments.isEmpty() || !isPlainVersion(arguments.first())))
        return context.leave(Outcome::Usage, QStringLiteral("update: give the version to update to (see --help)."));
    // Started beside a package's ZQ.ini there is no installation: the new version would
    // be assembled in the root folder.
    const std::optional<ClientConfig> config = readClientConfig(QCoreApplication::applicationDirPath());
    if (!config || config->installDir.isEmpty())
        return context.leave(Outcome::NotConfigured, context.chinese() ? QStringLiteral("没有可更新的安装。")
                                                                       : QStringLiteral("No installation to update."));
    if (context.silent() && rollback) {
        RollbackRun run(*config, context.reporter());
        return runUnattended(app, context, *config, run);
    }
    // The updater's name for it, set once.
    targetVersion = arguments.value(0);
    if (context.silent()) {
        UpdateRun run(*config, targetVersion, context.reporter());
        return runUnattended(app, context, *config, run);
    }

    prepareWindows(*config);
    Widget w(context.reporter(), DownloadLimits(), rollback ? Widget::Task::Rollback : Widget::Task::Update);
    app.raiseOnShowUp(&w);
    w.show();
    app.exec();
    return context.exitCode();
}
