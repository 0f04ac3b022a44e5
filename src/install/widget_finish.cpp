#include "widget.h"

#include "changelog.h"
#include "files.h"
#include "processes.h"
#include "registry.h"
#include "serviceaddress.h"
#include "ui_widget.h"
#include "unattended.h"
#include "xfunc.h"

#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopedPointer>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QtDebug>

namespace {

// The 3ds Max plug-in of the maker's other client, which this client replaces.
const char *const otherClientPlugins[] = {"3dsMax.dll",     "Newtonsoft.Json.dll", "Tarnel.dll",
                                          "nimbra_1.mse",   "nimbra_2.mse",        "render_fn.mse",
                                          "o_nimbra_1.mse", "o_nimbra_2.mse",      "o_render_fn.mse"};

// How long a silent run waits for the installation report before it ends.
const int reportWaitMs = 10000;

} // namespace

void Widget::completeRun()
{
    QDir product(installDir);
    product.cdUp();
    platform::openToAllUsers(product.absolutePath());
    removeOtherClientPlugins();
    setProgress(100);
    sendChannelReport();
    showFinished();
}

void Widget::removeOtherClientPlugins()
{
    QScopedPointer<QSettings> other(
        platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\Orvix\\Settings")));
    const QString dir = other->value(QStringLiteral("InstallDir")).toString();
    if (dir.isEmpty())
        return;
    for (const char *file : otherClientPlugins)
        ChangeLog::removeFile(dir + QDir::separator() + QLatin1String(file));
}

// Tells the maker's service where the client went; the answer is never awaited.
void Widget::sendChannelReport()
{
    HardwareInfo hardware;
    XFunc::queryHardware(hardware);
    manager = new QNetworkAccessManager(this);
    QUrl url(serviceAddress(QStringLiteral("channel")) + QStringLiteral("/clientChannel/clientChannelInfo"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("mark"), mark);
    query.addQueryItem(QStringLiteral("macAddr"), XFunc::urlEncode(XFunc::macAddress()));
    query.addQueryItem(QStringLiteral("cpu"), XFunc::urlEncode(hardware.cpu));
    url.setQuery(query);
    report = manager->post(QNetworkRequest(url), QString().toUtf8());
    qDebug() << "qD" << url.toString();
}

void Widget::showFinished()
{
    ui->install->setText(languageFlag ? QStringLiteral("开启%1").arg(name) : QStringLiteral("Finish"));
    ui->install->show();
    ui->closeBtn->show();
    if (third.isEmpty() && languageFlag)
        ui->installFaxel->show();
    else
        ui->installFaxel->setChecked(false);
    if (Unattended::silent())
        finishWhenReported();
}

// Nobody presses the button in a silent run; the report, which a person's pause would
// have let through, is given a little while.
void Widget::finishWhenReported()
{
    connect(report, &QNetworkReply::finished, this, &Widget::finishRun);
    QTimer::singleShot(reportWaitMs, report, &QNetworkReply::abort);
}

// The second press of the install button, once the run is complete.
void Widget::finishRun()
{
    // A deployment starts the client when it chooses to.
    if (!Unattended::silent())
        platform::startClient(clientExe());
    if (ui->installFaxel->isChecked() && !regCompany->value(QStringLiteral("nimbratools/Settings/InstallDir")).isValid())
        QProcess::startDetached(appDir + QDir::separator() + QStringLiteral("Faxelsetup.exe"),
                                {QStringLiteral("/sp-"), QStringLiteral("/silent")});
    close();
}
