#include "msgbox.h"

#include "ui_msgbox.h"

#include <QPointer>

QString MsgBox::englishTitle;

MsgBox::MsgBox(int type, QWidget *parent)
    : BaseWidget(parent)
    , ui(new Ui::MsgBox)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_ShowModal);
    setWindowFlags(Qt::SubWindow | Qt::FramelessWindowHint);
    if (type == 1)
        ui->noBtn->hide();
    raise();
    show();
    if (!languageFlag) {
        ui->title->setText(englishTitle);
        ui->okBtn->setText(QStringLiteral("OK"));
        ui->noBtn->setText(QStringLiteral("Cancel"));
    }
}

MsgBox::~MsgBox()
{
    loop.exit(0);
    delete ui;
}

int MsgBox::run(int type, const QString &text)
{
    QPointer<MsgBox> box = new MsgBox(type);
    box->ui->info->setText(text);
    box->loop.exec();
    // A box destroyed by someone else (the application quitting) counts as closed.
    return box ? box->result : 1;
}

int MsgBox::information(const QString &text)
{
    return run(1, text);
}

int MsgBox::question(const QString &text)
{
    return run(2, text);
}

void MsgBox::on_okBtn_clicked()
{
    finish(0);
}

void MsgBox::on_noBtn_clicked()
{
    finish(1);
}

void MsgBox::on_closeButton_clicked()
{
    finish(1);
}

void MsgBox::finish(int answer)
{
    result = answer;
    loop.exit(0);
    // Deletion waits for the application's event loop, which at start-up has not begun
    // yet (the installer may spend a while ending the client): go out of sight now.
    hide();
    deleteLater();
}
