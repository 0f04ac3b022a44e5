#include "clientconfig.h"
#include "dialogue.h"
#include "maxguard.h"
#include "msgbox.h"
#include "removal.h"
#include "singleapp.h"
#include "unattended.h"
#include "widget.h"

namespace {

// Without a window: the removal and its self-deleting script, the outcome the exit code.
int uninstallUnattended(const ClientConfig &config)
{
    const Outcome outcome = removeClient(config, [](int percent) { Unattended::progress("remove", percent); });
    Unattended::setOutcome(outcome);
    if (outcome == Outcome::Done)
        scheduleProductRemoval(config.installDir);
    else
        Unattended::tell(outcome::installMessage(outcome, config.isChinese()));
    return Unattended::exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    Unattended::prepare(Unattended::Program::Uninstall, argc, argv);
    SingleApp app(argc, argv);
    const int early = Unattended::begin(Unattended::Program::Uninstall, app.arguments());
    if (early >= 0)
        return early;
    if (app.exist())
        Unattended::leave(Outcome::AnotherRunning, QStringLiteral("Another program of the client is running."));
    const QString appDir = QCoreApplication::applicationDirPath();
    const std::optional<ClientConfig> config = readClientConfig(appDir);
    if (!config) {
        // A removal killed just before its script: only the script is left to do.
        if (isRemovalLeftover(appDir) && scheduleProductRemoval(appDir))
            return Unattended::exitCode();
        Unattended::leave(Outcome::NotConfigured,
                          QStringLiteral("The client is not configured: no ZQ.ini beside the program and no installation."));
    }
    const bool windows = !Unattended::silent();
    if (windows) {
        SingleApp::useClientFont();
        MsgBox::englishTitle = QStringLiteral("Prompt");
        BaseWidget::languageFlag = config->isChinese();
    }
    if (!maxAllowsUninstall(*config, Dialogue(windows)))
        return Unattended::exitCode();
    if (!windows)
        return uninstallUnattended(*config);

    Widget w;
    app.raiseOnShowUp(&w);
    w.show();
    app.exec();
    return Unattended::exitCode();
}
