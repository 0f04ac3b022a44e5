#include "widget.h"

#include "edition.h"
#include "ui_widget.h"

#include <QButtonGroup>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegExpValidator>

static void registerUninstallResources()
{
    Q_INIT_RESOURCE(uninstall);
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
    registerUninstallResources();
    ui->setupUi(this);
    ui->stackedWidget->setCurrentIndex(0);
    ui->uninstall_ok->hide();
    applyLanguage();
    ui->title->setText(name);
    applyEditionLook();
    ui->uninstall_commit->setEnabled(false);
    // A hint, not an answer: dimmer than what is typed (after the style sheet's colours).
    ui->phone->ensurePolished();
    QPalette hint = ui->phone->palette();
    hint.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    ui->phone->setPalette(hint);

    reasonGroup = new QButtonGroup(this);
    reasonGroup->setExclusive(false);
    int id = 1;
    for (QAbstractButton *box : {ui->check1, ui->check2, ui->check3, ui->check4, ui->checkOther}) {
        box->setCheckable(true);
        reasonGroup->addButton(box, id++);
    }
    connect(reasonGroup, &QButtonGroup::idToggled, this, &Widget::checkToggle);

    manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &Widget::repllyFinished);
    requestReasons();
    ui->phone->setValidator(new QRegExpValidator(QRegExp(QStringLiteral("[0-9a-zA-Z@.]+$")), this));
}

Widget::~Widget()
{
    delete ui;
}

QString Widget::reasonType() const
{
    return edition::reasonType(editionOf(third));
}

void Widget::applyLanguage()
{
    if (languageFlag)
        return;
    name = nameEN;
    ui->uninstall->setText(QStringLiteral("Uninstall"));
    ui->cancel->setText(QStringLiteral("Cancel"));
    ui->uninstall_commit->setText(QStringLiteral("Uninstall"));
    ui->uninstall_ok->setText(QStringLiteral("Finish"));
}

// Branded editions show their icon from the installation (or, run from the package,
// from beside the program) and a picture without our mark.
void Widget::applyEditionLook()
{
    if (showEditionLogo(ui->label, installDir.isEmpty() ? appDir : installDir))
        ui->label_bg->setStyleSheet(QStringLiteral("background-image: url(:/bg1_third.png);"));
}

void Widget::on_uninstall_clicked()
{
    if (languageFlag && edition::asksFeedback(editionOf(third)))
        ui->stackedWidget->setCurrentIndex(1);
    else
        on_uninstall_commit_clicked();
}

void Widget::on_uninstall_ok_clicked()
{
    close();
}

void Widget::on_minBtn_clicked()
{
    showMinimized();
}

void Widget::on_closeBtn_clicked()
{
    close();
}

void Widget::on_cancel_clicked()
{
    close();
}

void Widget::checkToggle(int idx, bool check)
{
    ui->uninstall_commit->setEnabled(reasonGroup->checkedId() != -1);
    if (idx == 5 && !check)
        ui->textEdit->clear();
}

// At most 100 characters: what was just typed or pasted beyond them is dropped, wherever
// the cursor is; "其他" is checked exactly while there is text.
void Widget::on_textEdit_textChanged()
{
    const int limit = 100;
    QString text = ui->textEdit->toPlainText();
    const int excess = text.length() - limit;
    if (excess > 0) {
        const int pos = ui->textEdit->textCursor().position();
        const int from = qMax(0, pos - excess);
        text.remove(from, excess);
        ui->textEdit->setPlainText(text);
        QTextCursor cursor = ui->textEdit->textCursor();
        cursor.setPosition(from);
        ui->textEdit->setTextCursor(cursor);
    }
    ui->checkOther->setChecked(!text.isEmpty());
}
