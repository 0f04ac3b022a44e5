#pragma once

#include <QApplication>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// The application class of every program. Only one program of the system runs at a
// time: they all own, or probe for, the same local server name.
class SingleApp : public QApplication
{
    Q_OBJECT

public:
    SingleApp(int &argc, char **argv);
    ~SingleApp() override;

    // True when another program of the system already runs (the caller then leaves);
    // false once this one holds the guard, which it keeps until it ends.
    bool exist();

    // The font every window of the system is drawn with.
    static void useClientFont();

    // Brings window to the front whenever another program of the system is started.
    void raiseOnShowUp(QWidget *window);

signals:
    // Another program of the system was started and found this one running.
    void showUp();

private:
    QLocalSocket *socket = nullptr;
    QLocalServer *server = nullptr;
    std::unique_ptr<QLockFile> lock;
};
