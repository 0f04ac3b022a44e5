#pragma once

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
    enum Code {
        Done = 0,
        Failed = 1,           // any other failure
        Usage = 2,            // unknown option, missing or bad version
        NotConfigured = 3,    // no configuration beside the program and no installation
        AnotherRunning = 4,   // another program of the system is running
        MaxRunning = 5,       // 3ds Max must be closed first
        OtherEdition = 6,     // a standard-edition client is installed where a partner's should go
        NoVersion = 7,        // the package's version file is missing or empty
        ExtractFailed = 8,
        RenameFailed = 9,
        IconFailed = 10,
        VersionFileFailed = 11,
        DownloadFailed = 12,
        LogFailed = 13,       // the log cannot be written
    };
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
    static void setOutcome(Code code);
    static int exitCode();
    // Leaves now, for ends before the event loop runs.
    [[noreturn]] static void leave(Code code, const QString &message = QString());
    // Sets the outcome and tells the user: a message box in a window run, standard
    // error in a silent one.
    static void fail(Code code, const QString &message);
    // One line on standard error (and in the log).
    static void tell(const QString &message);

    // One JSON line, {"step":"extract","percent":37}, each time the percentage grows,
    // when --progress is given.
    static void progress(const char *step, int percent);
    // The code a worker's error number stands for.
    static Code codeOfUpdateError(int error);

private:
    static int startLog(Program program, QString path, const QStringList &arguments);
};
