// System benchmarks, each against its reference in the same run:
//  (d) veryDel of a tree of 20,000 files, against rm -rf of a tree made alike;
//  (e) start of each program to its first shown window (a virtual display, a configured
//      sandbox), found by polling xdotool; the goal is an absolute one.
//   bench_system BIN_DIR [work dir]
#include "basewidget.h"

#include "registry.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void makeTree(const QString &root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString dir = QStringLiteral("%1/d%2/e%3").arg(root).arg(i % 40).arg(i % 7);
        if (i < 280)
            QDir().mkpath(dir);
        QFile file(QStringLiteral("%1/f%2.bin").arg(dir).arg(i));
        file.open(QIODevice::WriteOnly);
        file.write("x");
    }
}

// (d): both trees exist before either goes, so neither pays for the other's deletion;
// the best of three rounds, the order alternating.
void deletion(const QString &work)
{
    double rm = 1e9, ours = 1e9;
    bool left = false;
    BaseWidget helpers;
    for (int round = 0; round < 3; ++round) {
        const QString a = work + QStringLiteral("/rm/NimbraPVX/tree"), b = work + QStringLiteral("/del/NimbraPVX/tree");
        makeTree(a, 20000);
        makeTree(b, 20000);
        for (int step = 0; step < 2; ++step) {
            QElapsedTimer timer;
            timer.start();
            if ((step + round) % 2 == 0) {
                QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), a});
                rm = qMin(rm, timer.nsecsElapsed() / 1e9);
            } else {
                helpers.veryDel(b);
                ours = qMin(ours, timer.nsecsElapsed() / 1e9);
            }
        }
        left = left || QFileInfo::exists(b);
    }
    std::printf("(d) delete 20000 files             rm -rf %.3f s   veryDel %.3f s   ratio %.2f (goal <= 1.1)%s\n", rm, ours,
                ours / rm, left ? "  (tree left!)" : "");
}

// (e)
void startUp(const QString &bin, const QString &work)
{
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!xvfb.waitForReadyRead(5000)) {
        std::printf("(e) skipped: no Xvfb\n");
        return;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR", "PROGRAMFILES"}) {
        const QString dir = work + QStringLiteral("/start/") + QLatin1String(name);
        QDir().mkpath(dir);
        env.insert(QLatin1String(name), dir);
    }
    QFile::setPermissions(env.value(QStringLiteral("XDG_RUNTIME_DIR")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString setupDir = work + QStringLiteral("/start/program");
    QDir().mkpath(setupDir);
    QFile ini(setupDir + QStringLiteral("/ZQ.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[info]\r\nexe=NimbraClient.exe\r\nname=Nimbra\r\n");
    ini.close();
    QFile version(setupDir + QStringLiteral("/version"));
    version.open(QIODevice::WriteOnly);
    version.write("2.1.0");
    version.close();
    // The updater runs from an installation, which it finds through its record.
    const QString installed = work + QStringLiteral("/start/NimbraPVX/2.1.0.1");
    QDir().mkpath(installed);
    // Written through the registry emulation the programs read, in their configuration folder.
    const QByteArray ownConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", env.value(QStringLiteral("XDG_CONFIG_HOME")).toLocal8Bit());
    QScopedPointer<QSettings>(platform::openRegistry(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NimbraPVX")))
        ->setValue(QStringLiteral("installDir"), installed);
    QScopedPointer<QSettings>(platform::openRegistry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Quorlan\\NimbraPVX\\Settings")))
        ->setValue(QStringLiteral("info"), QStringLiteral(R"({"exe":"NimbraClient.exe","name":"Nimbra"})"));
    qputenv("XDG_CONFIG_HOME", ownConfig);
    for (const char *program : {"install", "update", "uninstall"}) {
        const QString dir = QLatin1String(program) == QLatin1String("update") ? installed : setupDir;
        QFile::copy(bin + QLatin1Char('/') + QLatin1String(program), dir + QLatin1Char('/') + QLatin1String(program));
        double best = 1e9;
        for (int round = 0; round < 5; ++round) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.setWorkingDirectory(dir);
            QElapsedTimer timer;
            timer.start();
            p.start(dir + QLatin1Char('/') + QLatin1String(program),
                    QLatin1String(program) == QLatin1String("update") ? QStringList{QStringLiteral("9.9.9")} : QStringList());
            p.waitForStarted();
            for (;;) {
                QProcess search;
                search.setProcessEnvironment(env);
                search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                         QStringLiteral("--pid"), QString::number(p.processId())});
                search.waitForFinished();
                if (!search.readAllStandardOutput().trimmed().isEmpty() || timer.elapsed() > 5000)
                    break;
            }
            best = qMin(best, timer.nsecsElapsed() / 1e6);
            p.kill();
            p.waitForFinished();
        }
        std::printf("(e) %-9s start to first window  %.0f ms (goal <= 150 ms)\n", program, best);
    }
    xvfb.kill();
    xvfb.waitForFinished();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    QTemporaryDir temporary;
    const QString work = argc > 2 ? QString::fromLocal8Bit(argv[2]) : temporary.path();
    QDir().mkpath(work);
    // The frame needs a configured client beside the program to exist.
    QFile ini(QCoreApplication::applicationDirPath() + QStringLiteral("/ZQ.ini"));
    ini.open(QIODevice::WriteOnly);
    ini.write("[info]\r\nexe=NimbraClient.exe\r\n");
    ini.close();
    deletion(work);
    startUp(QString::fromLocal8Bit(argv[1]), work);
    return 0;
}
