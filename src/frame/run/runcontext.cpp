#include "runcontext.h"

#include "changelog.h"
#include "console.h"
#include "instancechannel.h"
#include "processes.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>

namespace {

const char *programName(Program program)
{
    switch (program) {
    case Program::Install: return "install";
    case Program::Update: return "update";
    case Program::Uninstall: return "uninstall";
    }
    return "";
}

void addOptions(QCommandLineParser &parser, Program program)
{
    parser.setApplicationDescription(QStringLiteral("Without options the program opens its window."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("silent"), QStringLiteral("Run without a window or questions; the exit code tells the outcome.")},
        {QStringLiteral("progress"), QStringLiteral("Print one JSON line per step on standard output.")},
        {QStringLiteral("log"), QStringLiteral("Record every file, link and registry value written or removed in <file>."),
         QStringLiteral("file")},
        {QStringLiteral("exit-codes"),
         QStringLiteral("'msi': end with Windows Installer's codes (0, 1602, 1603, 1618, 1620, 1638, 1639)."),
         QStringLiteral("style")},
    });
    if (program == Program::Install) {
        parser.addOptions({
            {QStringLiteral("dir"), QStringLiteral("Install below <folder> (an earlier installation's folder wins)."),
             QStringLiteral("folder")},
            {QStringLiteral("no-start-menu"), QStringLiteral("Make no Start-menu shortcuts.")},
            {QStringLiteral("no-autorun"), QStringLiteral("Do not start the client with the system.")},
            {QStringLiteral("no-companion"), QStringLiteral("Do not install the companion tools.")},
            {QStringLiteral("keep-versions"),
             QStringLiteral("Keep <n> versions in the product folder, the one in place included (0: every one)."),
             QStringLiteral("n")},
        });
    }
    if (program == Program::Update) {
        parser.addOption({QStringLiteral("rollback"),
                          QStringLiteral("Put the previous kept version back in place, without the network.")});
        parser.addPositionalArgument(QStringLiteral("version"), QStringLiteral("The version to update to."));
    }
}

CommandLine commandLineOf(const QCommandLineParser &parser)
{
    // Only options given are asked for: asked of an option another program has, the
    // parser warns into the log.
    const QStringList given = parser.optionNames();
    CommandLine line;
    line.silent = given.contains(QStringLiteral("silent"));
    line.progress = given.contains(QStringLiteral("progress"));
    line.log = parser.value(QStringLiteral("log"));
    line.startMenu = !given.contains(QStringLiteral("no-start-menu"));
    line.autorun = !given.contains(QStringLiteral("no-autorun"));
    line.companion = !given.contains(QStringLiteral("no-companion"));
    if (given.contains(QStringLiteral("keep-versions")))
        line.keepVersions = parser.value(QStringLiteral("keep-versions")).toInt();
    if (given.contains(QStringLiteral("dir")) && !parser.value(QStringLiteral("dir")).isEmpty())
        line.dir = QDir::toNativeSeparators(QDir(parser.value(QStringLiteral("dir"))).absolutePath());
    line.rollback = given.contains(QStringLiteral("rollback"));
    line.msiCodes = parser.value(QStringLiteral("exit-codes")) == QLatin1String("msi");
    line.positional = parser.positionalArguments();
    return line;
}

// A name no one can guess ahead: another user cannot plant a file or a link there.
QString defaultLogPath(Program program)
{
    return QDir::tempPath() + QStringLiteral("/%1-%2-%3.log")
                                  .arg(QLatin1String(programName(program)),
                                       QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
                                  .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
}

// Until a silent run's log is open, Qt's diagnostics wait: the first line on standard
// error names the log.
QStringList &heldMessages()
{
    static QStringList held;
    return held;
}

void holdMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        heldMessages().append(message);
}

// Standard error of a silent run carries the outcome for a script: Qt's diagnostics go
// to the log instead (warnings) or nowhere (debug lines), unless logging rules are set.
void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ChangeLog::note(QStringLiteral("warning: ") + message);
}

void printLine(FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

void RunContext::prepare(Program program, int argc, char *argv[])
{
    platform::loadLibrariesFromSystemOnly();
    platform::ignoreClosedOutput();
    platform::prepareRuntimeDir();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    addOptions(parser, program);
    // A command line that does not parse may hold the application's own options
    // (-style, -platform); it is judged again once the application has taken them.
    const bool parsed = parser.parse(arguments);
    const bool windowless = parser.isSet(QStringLiteral("silent")) || parser.isSet(QStringLiteral("help"))
                            || parser.isSet(QStringLiteral("help-all"));
    if (parsed ? windowless : !platform::hasDisplay())
        platform::prepareUnattendedRun();
    if (parsed && windowless && qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qInstallMessageHandler(holdMessages);
}

RunContext::RunContext(Program program)
    : program(program)
{
}

int RunContext::begin(const QStringList &arguments)
{
    QCommandLineParser parser;
    addOptions(parser, program);
    // A bad command line is told in the codes asked for, even when it does not parse.
    line.msiCodes = arguments.contains(QStringLiteral("--exit-codes=msi"))
                    || arguments.join(QLatin1Char('\n')).contains(QStringLiteral("--exit-codes\nmsi"));
    const int usage = line.msiCodes ? outcome::msiCode(Outcome::Usage) : int(Outcome::Usage);
    if (!parser.parse(arguments)) {
        printLine(stderr, QStringLiteral("%1: %2 (see --help)").arg(QLatin1String(programName(program)), parser.errorText()));
        return usage;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        printLine(stdout, parser.helpText().trimmed());
        return 0;
    }
    bool number = true;
    if (parser.optionNames().contains(QStringLiteral("keep-versions"))
        && parser.value(QStringLiteral("keep-versions")).toInt(&number) < 0)
        number = false;
    if (!number) {
        printLine(stderr, QStringLiteral("%1: --keep-versions takes a number of versions, 0 for every one (see --help)")
                              .arg(QLatin1String(programName(program))));
        return usage;
    }
    const QString codes = parser.value(QStringLiteral("exit-codes"));
    if (!codes.isEmpty() && codes != QLatin1String("msi") && codes != QLatin1String("plain")) {
        printLine(stderr, QStringLiteral("%1: --exit-codes takes msi or plain (see --help)")
                              .arg(QLatin1String(programName(program))));
        return usage;
    }
    const int allowed = program == Program::Update ? 1 : 0;
    if (parser.positionalArguments().size() > allowed) {
        printLine(stderr, QStringLiteral("%1: unexpected argument %2 (see --help)")
                              .arg(QLatin1String(programName(program)), parser.positionalArguments().value(allowed)));
        return usage;
    }
    line = commandLineOf(parser);
    report = Reporter(line.progress);
    const int early = startLog(arguments);
    if (line.silent && qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qInstallMessageHandler(quietMessages);
    else
        qInstallMessageHandler(nullptr);
    for (const QString &message : qAsConst(heldMessages()))
        qWarning("%s", qPrintable(message));
    heldMessages().clear();
    return early;
}

int RunContext::startLog(const QStringList &arguments)
{
    const bool byDefault = line.log.isEmpty();
    if (byDefault && !line.silent)
        return -1;
    const QString file = byDefault ? defaultLogPath(program) : line.log;
    // The default log is made new in the temporary folder, which must be there: the
    // file system's root is no place for it.
    const bool opened = byDefault ? QFileInfo(QDir::tempPath()).isDir() && ChangeLog::create(file)
                                  : ChangeLog::open(file);
    if (!opened) {
        const QString folder = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
        const QString path = QDir::toNativeSeparators(file);
        const bool missing = !QFileInfo(QFileInfo(file).absolutePath()).isDir();
        printLine(stderr, inChinese ? (missing ? QStringLiteral("无法写入日志 %1：文件夹 %2 不存在").arg(path, folder)
                                               : QStringLiteral("无法写入日志 %1").arg(path))
                                    : (missing ? QStringLiteral("cannot write the log %1: the folder %2 does not exist")
                                                     .arg(path, folder)
                                               : QStringLiteral("cannot write the log %1").arg(path)));
        return line.msiCodes ? outcome::msiCode(Outcome::LogFailed) : int(Outcome::LogFailed);
    }
    if (line.silent)
        printLine(stderr, QStringLiteral("log: %1").arg(QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())));
    ChangeLog::note(QStringLiteral("%1 started %2: %3")
                        .arg(QLatin1String(programName(program)), QDateTime::currentDateTime().toString(Qt::ISODate),
                             arguments.join(QLatin1Char(' '))));
    return -1;
}

int RunContext::exitCode() const
{
    int code = line.silent ? int(report.outcome()) : 0;
    if (line.msiCodes) {
        const Outcome outcome = report.outcome();
        code = line.silent || outcome != Outcome::Done ? outcome::msiCode(outcome)
               : report.finished()                      ? 0
                                                        : outcome::msiCancelled;
    }
    ChangeLog::note(QStringLiteral("ended with %1").arg(code));
    return code;
}

int RunContext::leave(Outcome outcome, const QString &message)
{
    report.setOutcome(outcome);
    if (!message.isEmpty() && line.silent)
        report.tell(message);
    return exitCode();
}
