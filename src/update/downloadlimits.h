#pragma once

#include "replyguard.h"
#include "timedrequest.h"

#include <QtGlobal>

// The bounds of one update's requests and downloads, handed down the pipeline as a value
// (tests build the ones they need).
struct DownloadLimits
{
    // Downloads in flight at once over HTTP/1.1, each on a connection of its own.
    int parallel = 6;
    // In flight at once once the service speaks HTTP/2: one connection carries them all.
    // 100 is the least a server should allow; Qt queues what passes a lower limit.
    int parallelHttp2 = 100;
    // Files up to this published size go over HTTP/2, larger and unsized ones over
    // HTTP/1.1, whose read buffer bounds what Qt holds; the sizes of those in flight over
    // HTTP/2 stay within the budget.
    qint64 http2MaxFileBytes = 1024 * 1024;
    qint64 http2BudgetBytes = 32 * 1024 * 1024;
    // A body without a published size stops here, or when the disk keeps less than the reserve.
    qint64 maxUnpublishedBytes = qint64(8) * 1024 * 1024 * 1024;
    qint64 reserveBytes = 256 * 1024 * 1024;
    // No byte for this long fails a request as the network would.
    int inactivityMs = requestInactivityMs;
    SpeedFloor floor;
};
