#include "timedrequest.h"

#include <QUrl>

QNetworkRequest timedRequest(const QString &url, int inactivityMs)
{
    QNetworkRequest request{QUrl(url, QUrl::TolerantMode)};
    request.setTransferTimeout(inactivityMs);
    // Where the service offers it over TLS, many requests share one connection.
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
    return request;
}
