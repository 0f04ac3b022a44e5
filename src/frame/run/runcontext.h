#pragma once

#include "outcome.h"
#include "reporter.h"

#include <QString>
#include <QStringList>

// The programs of the system.
enum class Program { Install, Update, Uninstall };

// A program's command line, parsed once. Without options a program behaves as it always
// has: a window, and 0 when it ends.
struct CommandLine
{
    bool silent = false;    // no window, no question; the outcome is the exit code
    bool progress = false;  // one JSON line per step on standard output
    QString log;            // where every change goes; a new file in a silent run when empty
    // The installer's choices.
    QString dir;
    bool startMenu = true;
    bool autorun = true;
    bool companion = true;
    int keepVersions = -1;  // versions the product folder keeps; -1: as set before
    bool rollback = false;   // the updater puts the previous kept version back
    bool msiCodes = false;   // exit with Windows Installer's codes (--exit-codes msi)
    QStringList positional;  // the updater's version
};

// One run of a program, owned by its main: the command line, the reporter the runs tell
// through, and the code main returns. In a silent run (--silent) there is no window and
// no question (a question is answered OK), the outcome is the exit code and every message
// goes to standard error; --log FILE (by default, silent, a new file in the temporary
// folder) records every change.
class RunContext
{
public:
    // Before the application object exists: a run without a window (--silent, --help)
    // must not need a display, nor must a usage error on a machine without one; DLLs come
    // from the system folder only.
    static void prepare(Program program, int argc, char *argv[]);

    explicit RunContext(Program program);

    // Reads the command line once the application has taken its own options from it and
    // opens the log. -1 when the program goes on, else the code main returns (a usage
    // error, a log that cannot be written; 0 once --help is printed).
    int begin(const QStringList &arguments);

    const CommandLine &commandLine() const { return line; }
    // The language of what the run tells before a window or a run does: the client's, as
    // far as it is known before the command line is read; Chinese by default.
    void setChinese(bool chinese) { inChinese = chinese; }
    bool chinese() const { return inChinese; }
    bool silent() const { return line.silent; }
    Reporter &reporter() { return report; }

    // The code main returns: the outcome in a silent run, 0 for a window's. Noted in the log.
    int exitCode() const;
    // A run that ends before its work began: the outcome, the message told in a silent
    // run; the code main returns.
    int leave(Outcome outcome, const QString &message = QString());

private:
    int startLog(const QStringList &arguments);

    Program program;
    CommandLine line;
    Reporter report;
    bool inChinese = true;
};
