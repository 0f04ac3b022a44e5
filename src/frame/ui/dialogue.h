#pragma once

#include "outcome.h"
#include "reporter.h"

#include <QString>

// How a program speaks to the person who started it outside its window: message boxes
// in a window run; in a silent run every message goes to standard error and the log,
// and every question is answered yes. The program's start decides which.
class Dialogue
{
public:
    Dialogue(Reporter &reporter, bool withBoxes);

    // Sets the run's outcome and tells why.
    void fail(Outcome outcome, const QString &message) const;
    bool confirm(const QString &question) const;

private:
    Reporter &reporter;
    bool withBoxes;
};
