#pragma once

#include <QUrl>

class QNetworkReply;

// The worker follows redirects itself (Qt's own following, under load, can fail a sound
// download), with the rules Qt's NoLessSafeRedirectPolicy has.

// A finished answer with a 3xx status: a redirect to follow, or, when it cannot be
// followed, a failure; its body is never the answer.
bool isRedirect(const QNetworkReply *reply);
// The target of a 301, 302, 303, 307 or 308 answer: its Location resolved against the
// request (relative and scheme-relative ones too), when the scheme is the same or https;
// else an empty address.
QUrl redirectTarget(const QNetworkReply *reply);

// How many redirects one request may follow.
const int maxRedirects = 5;
