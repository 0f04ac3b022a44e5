#pragma once

#include <QUrl>

class QNetworkReply;

// The worker follows redirects itself (Qt's own following, under load, can fail a sound
// download), with the rules Qt's NoLessSafeRedirectPolicy has: the target of a finished
// 301, 302, 303, 307 or 308 answer, resolved against the request, when its scheme is
// the same or https; else an empty address.
QUrl redirectTarget(const QNetworkReply *reply);

// How many redirects one request may follow.
const int maxRedirects = 5;
