#include "timedrequest.h"

#include <QUrl>

QNetworkRequest timedRequest(const QString &url, int inactivityMs)
{
    QNetworkRequest request{QUrl(url, QUrl::TolerantMode)};
    request.setTransferTimeout(inactivityMs);
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}
