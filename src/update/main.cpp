#include "clientconfig.h"
#include "singleapp.h"
#include "unattended.h"
#include "updaterun.h"
#include "updatestate.h"
#include "versiontext.h"
#include "widget.h"

namespace {

// Without a window: the same run, its outcome the exit code.
int updateUnattended(QCoreApplication &app, const ClientConfig &config, const QString &version)
{
    UpdateRun run(config, version);
    QObject::connect(&run, &UpdateRun::progress, [](int percent) { Unattended::progress("download", percent); });
    QObject::connect(&run, &UpdateRun::failed, [&](Outcome outcome) {
        Unattended::setOutcome(outcome);
        Unattended::tell(outcome::updateMessage(outcome, config.isChinese())
                         + (config.isChinese() ? QStringLiteral("请重试！") : QStringLiteral("Please retry!")));
        app.quit();
    });
    QObject::connect(&run, &UpdateRun::applied, [&] {
        Unattended::progress("apply", 100);
        app.quit();
    });
    run.start();
    app.exec();
    return Unattended::exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    Unattended::prepare(Unattended::Program::Update, argc, argv);
    SingleApp app(argc, argv);
    const int early = Unattended::begin(Unattended::Program::Update, app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        Unattended::leave(Outcome::AnotherRunning, QStringLiteral("Another program of the client is running."));
    // The version becomes part of a directory name, so anything but a plain name
    // counts as no version at all.
    const QStringList arguments = Unattended::positional();
    if (arguments.isEmpty() || !isPlainVersion(arguments.first()))
        Unattended::leave(Outcome::Usage, QStringLiteral("update: give the version to update to (see --help)."));
    // Started beside a package's ZQ.ini there is no installation: the new version would
    // be assembled in the root folder.
    const std::optional<ClientConfig> config = readClientConfig(QCoreApplication::applicationDirPath());
    if (!config || config->installDir.isEmpty())
        Unattended::leave(Outcome::NotConfigured, QStringLiteral("No installation to update."));
    targetVersion = arguments.first();
    if (Unattended::silent())
        return updateUnattended(app, *config, targetVersion);

    SingleApp::useClientFont();
    BaseWidget::languageFlag = config->isChinese();
    Widget w;
    app.raiseOnShowUp(&w);
    w.show();
    app.exec();
    return Unattended::exitCode();
}
