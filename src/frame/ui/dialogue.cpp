#include "dialogue.h"

#include "changelog.h"
#include "msgbox.h"
#include "reporter.h"

Dialogue::Dialogue(Reporter &reporter, bool withBoxes)
    : reporter(reporter)
    , withBoxes(withBoxes)
{
}

void Dialogue::fail(Outcome outcome, const QString &message) const
{
    reporter.setOutcome(outcome);
    if (!withBoxes) {
        reporter.tell(message);
        return;
    }
    ChangeLog::note(message);
    MsgBox::information(message);
}

bool Dialogue::confirm(const QString &question) const
{
    if (!withBoxes) {
        reporter.tell(question + QStringLiteral(" (OK)"));
        return true;
    }
    return MsgBox::question(question) == 0;
}
