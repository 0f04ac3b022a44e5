#include "clientconfig.h"
#include "dialogue.h"
#include "installpaths.h"
#include "installrun.h"
#include "preflight.h"
#include "shellfolders.h"
#include "singleapp.h"
#include "unattended.h"
#include "widget.h"

#include <QDir>

namespace {

// One installation per machine: a reinstall goes where the first one went.
QString unattendedTarget(const ClientConfig &config, const QString &chosen, const QString &earlierDir)
{
    if (!earlierDir.isEmpty() && !chosen.isEmpty() && QDir(earlierDir).absolutePath() != QDir(chosen).absolutePath())
        Unattended::tell(QStringLiteral("Installed before below %1: installing there, not below %2.")
                             .arg(QDir::toNativeSeparators(earlierDir), chosen));
    if (!earlierDir.isEmpty())
        return QDir::toNativeSeparators(earlierDir);
    if (!chosen.isEmpty())
        return chosen;
    return defaultInstallTarget(platform::programFilesDir(), config.third);
}

// Without a window: the same run, its outcome the exit code. The report is waited for
// a little while, and the companion tools follow as a window's finish would start them.
int installUnattended(QCoreApplication &app, const ClientConfig &config, const QString &version,
                      const InstallRun::Options &options, const QString &earlierDir)
{
    InstallRun run(config, QCoreApplication::applicationDirPath(), version);
    QObject::connect(&run, &InstallRun::stepProgress, &Unattended::progress);
    QObject::connect(&run, &InstallRun::finished, [&](Outcome outcome) {
        Unattended::setOutcome(outcome);
        if (outcome != Outcome::Done) {
            Unattended::tell(outcome::installMessage(outcome, config.isChinese()));
            app.quit();
        }
    });
    QObject::connect(&run, &InstallRun::reported, [&] {
        Unattended::progress("done", 100);
        if (config.third.isEmpty() && config.isChinese() && options.companion)
            run.startCompanion();
        app.quit();
    });
    run.start(unattendedTarget(config, options.dir, earlierDir), options);
    app.exec();
    return Unattended::exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    Unattended::prepare(Unattended::Program::Install, argc, argv);
    SingleApp app(argc, argv);
    const int early = Unattended::begin(Unattended::Program::Install, app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        Unattended::leave(Outcome::AnotherRunning, QStringLiteral("Another program of the client is running."));
    const std::optional<ClientConfig> config = readClientConfig(QCoreApplication::applicationDirPath());
    if (!config)
        Unattended::leave(Outcome::NotConfigured,
                          QStringLiteral("The client is not configured: no ZQ.ini beside the program and no installation."));
    const bool windows = !Unattended::silent();
    if (windows) {
        SingleApp::useClientFont();
        BaseWidget::languageFlag = config->isChinese();
    }

    QString earlierDir;
    if (!installPreflight(*config, Dialogue(windows), &earlierDir))
        return Unattended::exitCode();
    const QString version = readVersionFile(QStringLiteral("version"));
    if (version.isEmpty())
        Unattended::leave(Outcome::NoVersion, QStringLiteral("No version to install: the file \"version\" is missing or empty."));
    const InstallRun::Options options = InstallRun::fromCommandLine();
    if (!windows)
        return installUnattended(app, *config, version, options, earlierDir);

    Widget w;
    app.raiseOnShowUp(&w);
    w.applyOptions(options);
    w.startWithDir(earlierDir);
    w.show();
    app.exec();
    return Unattended::exitCode();
}
