#include "reporter.h"

#include "changelog.h"

#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

Reporter::Reporter(bool progressLines)
    : progressLines(progressLines)
{
}

void Reporter::tell(const QString &message)
{
    printLine(stderr, message);
    ChangeLog::note(message);
}

// A tool draws a bar from these: it never moves back, though a window's bar may.
void Reporter::progress(const char *step, int percent)
{
    if (percent == 100 && (qstrcmp(step, "done") == 0 || qstrcmp(step, "apply") == 0 || qstrcmp(step, "remove") == 0))
        reachedEnd = true;
    const bool sameStep = lastStep == QLatin1String(step);
    if (!progressLines || percent < lastPercent || (percent == lastPercent && sameStep))
        return;
    lastStep = QLatin1String(step);
    lastPercent = percent;
    printLine(stdout, QStringLiteral("{\"step\":\"%1\",\"percent\":%2}").arg(QLatin1String(step)).arg(percent));
}

Reporter &Reporter::plain()
{
    static Reporter quiet;
    return quiet;
}
