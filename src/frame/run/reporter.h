#pragma once

#include "outcome.h"

#include <QString>

// What a run tells whoever started it: messages on standard error and in the change
// log, its steps as JSON lines on standard output ({"step":"extract","percent":37},
// the percentage never going back) when progress was asked for, and how it ended.
// Handed to the runs by the main that owns it.
class Reporter
{
public:
    explicit Reporter(bool progressLines = false);

    // One line on standard error (and in the log).
    void tell(const QString &message);
    // A step's percentage, printed when it grows.
    void progress(const char *step, int percent);

    void setOutcome(Outcome outcome) { ended = outcome; }
    Outcome outcome() const { return ended; }
    // The run's last step reached 100 ("done", "apply", "remove"): a window run that was
    // not closed before its end.
    bool finished() const { return reachedEnd; }

    // For a run that was given no reporter (tests, tools): messages only, no progress.
    static Reporter &plain();

private:
    bool progressLines;
    QString lastStep;
    int lastPercent = -1;
    Outcome ended = Outcome::Done;
    bool reachedEnd = false;
};
