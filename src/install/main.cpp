#include "clientconfig.h"
#include "dialogue.h"
#include "installpaths.h"
#include "installrun.h"
#include "preflight.h"
#include "programdir.h"
#include "runcontext.h"
#include "setuppayload.h"
#include "shellfolders.h"
#include "singleapp.h"
#include "startup.h"
#include "widget.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace {

// One installation per machine: a reinstall goes where the first one went.
QString unattendedTarget(const ClientConfig &config, const QString &chosen, const QString &earlierDir,
                         Reporter &reporter)
{
    if (!earlierDir.isEmpty() && !chosen.isEmpty() && QDir(earlierDir).absolutePath() != QDir(chosen).absolutePath())
        reporter.tell(QStringLiteral("Installed before below %1: installing there, not below %2.")
                          .arg(QDir::toNativeSeparators(earlierDir), chosen));
    if (!earlierDir.isEmpty())
        return QDir::toNativeSeparators(earlierDir);
    if (!chosen.isEmpty())
        return chosen;
    return defaultInstallTarget(platform::programFilesDir(), config.third);
}

// Without a window: the same run, its outcome the exit code. The report is waited for
// a little while, and the companion tools follow as a window's finish would start them.
int installUnattended(QCoreApplication &app, RunContext &context, const ClientConfig &config,
                      const QString &version, const QString &earlierDir)
{
    Reporter &reporter = context.reporter();
    const InstallRun::Options options = InstallRun::Options::of(context.commandLine());
    InstallRun run(config, programDir(), version, reporter);
    QObject::connect(&run, &InstallRun::stepProgress, [&](const char *step, int percent) { reporter.progress(step, percent); });
    QObject::connect(&run, &InstallRun::finished, [&](Outcome outcome) {
        reporter.setOutcome(outcome);
        if (outcome != Outcome::Done) {
            reporter.tell(outcome::installMessage(outcome, config.isChinese()));
            app.quit();
        }
    });
    QObject::connect(&run, &InstallRun::reported, [&] {
        reporter.progress("done", 100);
        if (config.third.isEmpty() && config.isChinese() && options.companion)
            run.startCompanion();
        app.quit();
    });
    run.start(unattendedTarget(config, options.dir, earlierDir, reporter), options);
    app.exec();
    return context.exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    RunContext::prepare(Program::Install, argc, argv);
    SingleApp app(argc, argv);
    RunContext context(Program::Install);
    // A setup file's package is unpacked into a folder of this run's own, removed at its
    // end; nothing beside the setup file is read.
    std::unique_ptr<QTemporaryDir> unpacked(setup::isSetupFile() ? new QTemporaryDir : nullptr);
    // Left again before the folder goes: Windows removes no process's working folder.
    struct WorkingDir {
        QString dir = QDir::currentPath();
        ~WorkingDir() { QDir::setCurrent(dir); }
    } workingDir;
    const setup::Payload payload = setup::unpack(QCoreApplication::applicationFilePath(),
                                                 unpacked && unpacked->isValid() ? unpacked->path() : QString());
    if (payload == setup::Payload::Unpacked) {
        setProgramDir(unpacked->path());
        QDir::setCurrent(unpacked->path());
    }
    const int early = startProgram(app, context);
    if (early >= 0)
        return early;
    if (payload == setup::Payload::Damaged) {
        const QString message = outcome::refusal(Outcome::SetupDamaged, context.chinese());
        // Said in a box too: a person who started a window would see nothing else.
        if (!context.silent())
            Dialogue(context.reporter(), true).fail(Outcome::SetupDamaged, message);
        return context.leave(Outcome::SetupDamaged, message);
    }
    const std::optional<ClientConfig> config = readClientConfig(programDir());
    if (!config)
        return context.leave(Outcome::NotConfigured, outcome::refusal(Outcome::NotConfigured, context.chinese()));
    const bool windows = !context.silent();
    if (windows)
        prepareWindows(*config);

    QString earlierDir;
    if (!installPreflight(*config, Dialogue(context.reporter(), windows), &earlierDir))
        return context.exitCode();
    const QString version = readVersionFile(QStringLiteral("version"));
    if (version.isEmpty())
        return context.leave(Outcome::NoVersion, outcome::refusal(Outcome::NoVersion, context.chinese()));
    if (!windows)
        return installUnattended(app, context, *config, version, earlierDir);

    Widget w(context.reporter());
    app.raiseOnShowUp(&w);
    w.applyOptions(InstallRun::Options::of(context.commandLine()));
    w.startWithDir(earlierDir);
    w.show();
    app.exec();
    return context.exitCode();
}
