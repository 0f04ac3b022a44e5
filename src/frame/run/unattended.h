#pragma once

#include "outcome.h"

#include <QString>
#include <QStringList>

// How a program runs for a deployment tool. With --silent there is no window and no
// question (a question is answered OK), the outcome is the exit code and every message
// goes to standard error; --progress prints one JSON line per step on standard output;
// --log FILE (in silent mode by default a file in the temporary folder) records every
// change. Without options a program behaves as it always has and ends with 0.
class Unattended
{
public:
    enum class Program { Install, Update, Uninstall };

    // Before the application object exists: a run without a window (--silent, --help)
    // must not need a display, nor must a usage error on a machine without one.
    static void prepare(Program program, int argc, char *argv[]);
    // Reads the command line once the application has taken its own options from it.
    // Returns -1 when the program goes on, else the code to leave with (a usage error;
    // --help prints and leaves with 0 itself).
    static int begin(Program program, const QStringList &arguments);

    static bool silent();
    static bool isSet(const QString &option);
    static QString value(const QString &option);
    static QStringList positional();

    // The outcome a silent run leaves with; a window run always leaves with 0.
    static void setOutcome(Outcome code);
    static int exitCode();
    // Leaves now, for ends before the event loop runs.
    [[noreturn]] static void leave(Outcome code, const QString &message = QString());
    // One line on standard error (and in the log).
    static void tell(const QString &message);

    // One JSON line, {"step":"extract","percent":37}, each time the percentage grows,
    // when --progress is given.
    static void progress(const char *step, int percent);

private:
    static int startLog(Program program, const QString &path, const QStringList &arguments);
};
