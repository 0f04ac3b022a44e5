#pragma once

#include "clientconfig.h"
#include "outcome.h"
#include "reporter.h"
#include "runcontext.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class ZipThread;

// One install: extracts the package's files.zip on a worker thread into a new versioned
// directory below the chosen one and puts the client in place there. The window and a
// silent run drive the same run; neither needs the other.
class InstallRun : public QObject
{
    Q_OBJECT

public:
    // What the person or the command line chose.
    struct Options
    {
        bool startMenu = true;
        bool autorun = true;
        bool companion = true;
        QString dir;  // the chosen target; empty for the offered one
        int keepVersions = -1;  // KeepVersions to set; -1 leaves it as it is

        // The choices of the command line.
        static Options of(const CommandLine &line);
    };

    InstallRun(const ClientConfig &config, const QString &packageDir, const QString &version,
               Reporter &reporter = Reporter::plain(), QObject *parent = nullptr);
    ~InstallRun() override;

    // Starts below the chosen directory; finished() tells the outcome.
    void start(const QString &chosenDir, const Options &options);
    Outcome outcome() const { return result; }
    // The versioned directory, once started.
    QString installDir() const { return dir; }
    QString clientExe() const;
    // The companion tools' installer from the package, unless they are installed.
    void startCompanion() const;

signals:
    // The window's bar: 10, a point per three entries extracted, then 40 to 100.
    void progress(int percent);
    // For a tool: the extraction scaled to the archive's entries (10 to 40), then the
    // deployment; "done" is the run's to say once everything is over.
    void stepProgress(const char *step, int percent);
    void finished(Outcome outcome);
    // The installation report was answered, failed or given up after a while.
    void reported();

private slots:
    void oneOk();
    void extracted();

private:
    Outcome place();
    void deployed(int percent);
    void copyRuntimeLibraries();
    void prepareDataFolder();
    void removeOtherClientPlugins();
    void sendChannelReport();
    void end(Outcome outcome);

    ClientConfig config;
    Reporter &reporter;
    QString packageDir;
    QString version;
    Options options;
    QString dir;
    QString createdByRun;
    int extractedCount = 0;
    int entryCount = 0;
    Outcome result = Outcome::Done;
    ZipThread *zipThread = nullptr;
    QNetworkAccessManager *manager = nullptr;
};
