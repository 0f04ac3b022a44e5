#include "redirect.h"

#include <QNetworkReply>

QUrl redirectTarget(const QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return QUrl();
    const QUrl target = reply->url().resolved(reply->header(QNetworkRequest::LocationHeader).toUrl());
    const QString from = reply->url().scheme();
    const bool safe = target.scheme() == from || target.scheme() == QLatin1String("https");
    return safe && target.isValid() && !target.host().isEmpty() ? target : QUrl();
}
