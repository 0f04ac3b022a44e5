#include "redirect.h"

#include <QNetworkReply>

namespace {

int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

bool isRedirect(const QNetworkReply *reply)
{
    const int status = statusOf(reply);
    return status >= 300 && status < 400;
}

QUrl redirectTarget(const QNetworkReply *reply)
{
    const int status = statusOf(reply);
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return QUrl();
    // Qt 5.15 drops a Location without a scheme from its parsed header.
    const QUrl location(QString::fromUtf8(reply->rawHeader("Location").trimmed()), QUrl::StrictMode);
    if (!location.isValid() || location.isEmpty())
        return QUrl();
    const QUrl target = reply->url().resolved(location);
    const QString from = reply->url().scheme();
    const bool safe = target.scheme() == from || target.scheme() == QLatin1String("https");
    return safe && target.isValid() && !target.host().isEmpty() ? target : QUrl();
}
