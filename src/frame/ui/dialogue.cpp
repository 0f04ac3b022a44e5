#include "dialogue.h"

#include "changelog.h"
#include "msgbox.h"
#include "unattended.h"

Dialogue::Dialogue(bool withBoxes)
    : withBoxes(withBoxes)
{
}

void Dialogue::fail(Outcome outcome, const QString &message) const
{
    Unattended::setOutcome(outcome);
    if (!withBoxes) {
        Unattended::tell(message);
        return;
    }
    ChangeLog::note(message);
    MsgBox::information(message);
}

bool Dialogue::confirm(const QString &question) const
{
    if (!withBoxes) {
        Unattended::tell(question + QStringLiteral(" (OK)"));
        return true;
    }
    return MsgBox::question(question) == 0;
}
