#pragma once

#include <QNetworkRequest>
#include <QString>

// A request that fails, as the network would, once no byte has come for this long: a
// stalled service must not hang a window whose close button is hidden. It asks for the
// body as it is (no compression): Qt would inflate a compressed one whole, past any cap
// on what is received.
const int requestInactivityMs = 30000;

QNetworkRequest timedRequest(const QString &url, int inactivityMs = requestInactivityMs);
