#include "widget.h"

#include "edition.h"
#include "replyguard.h"
#include "timedrequest.h"
#include "ui_widget.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtDebug>

void Widget::requestReasons()
{
    const QString url = bs + QStringLiteral("/cms/uninstallReason/getPresentByType?type=") + reasonType();
    qDebug() << url;
    // A reason list is a few hundred bytes; an endless body must not fill the memory.
    ReplyGuard::watch(manager->get(timedRequest(url)), 1024 * 1024);
}

void Widget::repllyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    qDebug() << reply->error() << reply->errorString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299) {
        const QString body = QString::fromUtf8(reply->readAll());
        qDebug() << body;
        QMap<int, QJsonObject> byOrder;  // a later row of the same order replaces an earlier one
        for (const QJsonValue row : QJsonDocument::fromJson(body.toUtf8()).object().value(QStringLiteral("rows")).toArray())
            byOrder.insert(row.toObject().value(QStringLiteral("order")).toInt(), row.toObject());
        const QList<QJsonObject> rows = byOrder.values();
        for (int i = 0; i < qMin(4, rows.size()); ++i) {
            if (QAbstractButton *box = reasonGroup->button(i + 1)) {
                box->setText(rows[i].value(QStringLiteral("reason")).toString());
                box->setToolTip(QString::number(rows[i].value(QStringLiteral("id")).toInt()));
            }
        }
        if (QAbstractButton *other = reasonGroup->button(5))
            other->setToolTip(QStringLiteral("-1"));
    }
    // Only the first reply counts: the feedback post's reply must not land here.
    manager->disconnect();
}

void Widget::postFeedback()
{
    QJsonArray rows;
    for (int id = 1; id <= 5; ++id) {
        QAbstractButton *box = reasonGroup->button(id);
        if (!box || !box->isChecked())
            continue;
        if (box->toolTip() == QLatin1String("-1"))
            rows.append(QJsonObject{{"id", 0},
                                    {"other", ui->textEdit->toPlainText().left(100)},
                                    {"contact", ui->phone->text()}});
        else
            rows.append(QJsonObject{{"id", box->toolTip().toInt()}});
    }
    const QJsonObject feedback{{"rows", rows}, {"type", reasonType().toInt()}};
    const QByteArray body = QJsonDocument(feedback).toJson(QJsonDocument::Compact);
    qDebug() << body;
    QNetworkRequest post = timedRequest(bs + QStringLiteral("/cms/uninstallReason/getUserUninstallReasonByType"));
    post.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    manager->post(post, body);
}

void Widget::on_uninstall_commit_clicked()
{
    if (edition::asksFeedback(editionOf(third)))
        postFeedback();
    ui->stackedWidget->deleteLater();
    doUninstall();
}
