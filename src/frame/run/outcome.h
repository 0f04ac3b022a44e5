#pragma once

#include <QString>

// How a run or one of its steps ended. The same names serve the windows, the unattended
// runs and their exit codes (the value is the exit code of a silent run).
enum class Outcome {
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
    RegistryFailed = 14,  // a registry change was not committed
    WriteFailed = 15,     // a file, folder or shortcut was not written or removed
    NothingToRollBack = 16,  // no earlier version is kept to go back to
    SetupDamaged = 17,       // a setup file whose package is damaged or cut off
};

namespace outcome {

// The updater's worker reports its failures as these numbers (its error signal).
enum UpdateError { FileListError = -1, DownloadError = -2, RenameError = -3, IconError = -4 };

Outcome ofUpdateError(int error);

// What the installer's message box says of a failed step.
QString installMessage(Outcome outcome, bool chinese);
// What a run that ends before its work began says of it (not configured, another program
// running, no version file).
QString refusal(Outcome outcome, bool chinese);

// What the updater's one-line error says, before "please retry".
QString updateMessage(Outcome outcome, bool chinese);
// The code of Windows Installer's that fleet tools (Intune, Configuration Manager, winget)
// map by default: 0, 1618 to retry later, 1639 for a bad command line, 1638 for another
// edition installed, 1620 for a broken package, 1603 for any other failure.
int msiCode(Outcome outcome);
// A window run that was closed before its end.
const int msiCancelled = 1602;

// The updater's one-line error: the message and, where trying again can help, "please retry".
QString updateFailure(Outcome outcome, bool chinese);

} // namespace outcome
