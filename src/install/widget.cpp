#include "widget.h"

#include "installpaths.h"
#include "shellfolders.h"
#include "ui_widget.h"

#include <QDir>
#include <QFileDialog>
#include <QtDebug>

static void registerInstallResources()
{
    Q_INIT_RESOURCE(install);
}

Widget::Widget(BaseWidget *parent)
    : Widget(Reporter::plain(), parent)
{
}

Widget::Widget(Reporter &reporter, BaseWidget *parent)
    : BaseWidget(parent)
    , ui(new Ui::Widget)
    , reporter(reporter)
{
    registerInstallResources();
    ui->setupUi(this);

    // The start checked it is there.
    version = readVersionFile(QStringLiteral("version"));

    applyLanguage();
    ui->title->setText(name);
    applyEditionLook();
    setExpanded(false);
    ui->path->setReadOnly(true);

    installDir = defaultInstallTarget(platform::programFilesDir(), third);
    ui->path->setText(installDir);

    ui->startMenu->setChecked(true);
    ui->autoRun->setChecked(true);
    ui->installFaxel->setChecked(true);
    ui->installFaxel->hide();
    qDebug() << installDir;
    ui->progressBar->hide();
}

Widget::~Widget()
{
    delete ui;
}

void Widget::applyLanguage()
{
    if (languageFlag)
        return;
    name = nameEN;
    ui->install->setText(QStringLiteral("Install"));
    ui->para->setText(QStringLiteral("Custom"));
    ui->browse->setText(QStringLiteral("Browse"));
    ui->startMenu->setText(QStringLiteral("Add to start menu"));
    ui->autoRun->setText(QStringLiteral("Auto-start-system"));
}

// The standard edition shows our logo and picture; every other edition its own icon
// beside the installer and a picture without our mark.
void Widget::applyEditionLook()
{
    if (showEditionLogo(ui->label, appDir))
        ui->label_bg->setStyleSheet(QStringLiteral("background-image: url(:/bg_third.png)"));
}

void Widget::setExpanded(bool expanded)
{
    ui->widget_2->setFixedHeight(expanded ? 510 : 380);
    setFixedHeight(expanded ? 516 : 386);
}

void Widget::startWithDir(QString dir)
{
    if (dir.isEmpty())
        return;
    installDir = QDir::toNativeSeparators(dir);
    on_install_clicked();
}

void Widget::applyOptions(const InstallRun::Options &options)
{
    if (!options.dir.isEmpty()) {
        installDir = options.dir;
        ui->path->setText(installDir);
    }
    ui->startMenu->setChecked(options.startMenu);
    ui->autoRun->setChecked(options.autorun);
    ui->installFaxel->setChecked(options.companion);
}

void Widget::on_para_clicked()
{
    const bool expanded = height() >= 500;
    QString style = ui->para->styleSheet();
    if (expanded)
        style.replace(QLatin1String("up.png"), QLatin1String("down.png"));
    else
        style.replace(QLatin1String("down.png"), QLatin1String("up.png"));
    ui->para->setStyleSheet(style);
    setExpanded(!expanded);
}

void Widget::on_minBtn_clicked()
{
    showMinimized();
}

void Widget::on_closeBtn_clicked()
{
    close();
}

void Widget::on_browse_clicked()
{
    const QString caption = languageFlag ? QStringLiteral("选择安装目录") : QStringLiteral("Choose install dir");
    const QString chosen = QFileDialog::getExistingDirectory(this, caption, QStringLiteral("/home"),
                                                             QFileDialog::ShowDirsOnly);
    qDebug() << "getExistingDirectory:" << chosen;
    if (chosen.isEmpty())
        return;
    ui->path->setText(QDir::toNativeSeparators(chosen));
    installDir = ui->path->text();
    ui->path->repaint();
    ui->path->setCursorPosition(0);
}
