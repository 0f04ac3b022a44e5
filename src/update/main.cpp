#include "clientconfig.h"
#include "runcontext.h"
#include "singleapp.h"
#include "startup.h"
#include "updaterun.h"
#include "updatestate.h"
#include "versiontext.h"
#include "widget.h"

namespace {

// Without a window: the same run, its outcome the exit code.
int updateUnattended(QCoreApplication &app, RunContext &context, const ClientConfig &config, const QString &version)
{
    Reporter &reporter = context.reporter();
    UpdateRun run(config, version, reporter);
    QObject::connect(&run, &UpdateRun::progress, [&](int percent) { reporter.progress("download", percent); });
    QObject::connect(&run, &UpdateRun::failed, [&](Outcome outcome) {
        reporter.setOutcome(outcome);
        reporter.tell(outcome::updateMessage(outcome, config.isChinese())
                      + (config.isChinese() ? QStringLiteral("请重试！") : QStringLiteral("Please retry!")));
        app.quit();
    });
    QObject::connect(&run, &UpdateRun::applied, [&] {
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
    if (arguments.isEmpty() || !isPlainVersion(arguments.first()))
        return context.leave(Outcome::Usage, QStringLiteral("update: give the version to update to (see --help)."));
    // Started beside a package's ZQ.ini there is no installation: the new version would
    // be assembled in the root folder.
    const std::optional<ClientConfig> config = readClientConfig(QCoreApplication::applicationDirPath());
    if (!config || config->installDir.isEmpty())
        return context.leave(Outcome::NotConfigured, QStringLiteral("No installation to update."));
    // The updater's name for it, set once.
    targetVersion = arguments.first();
    if (context.silent())
        return updateUnattended(app, context, *config, targetVersion);

    prepareWindows(*config);
    Widget w(context.reporter(), DownloadLimits());
    app.raiseOnShowUp(&w);
    w.show();
    app.exec();
    return context.exitCode();
}
