#include "widget.h"

#include <QDir>
#include <QtDebug>

Widget::Widget(BaseWidget *parent)
    : BaseWidget(parent)
{
    resize(586, 516);
}

void Widget::startWithDir(QString dir)
{
    if (dir.isEmpty())
        return;
    installDir = QDir::toNativeSeparators(dir);
    on_install_clicked();
}

void Widget::on_install_clicked()
{
    qDebug() << "install into" << installDir;
}
