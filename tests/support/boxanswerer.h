#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

// Answers every message box that appears while it lives, as a user would, and keeps
// what each box showed.
class BoxAnswerer : public QObject
{
    Q_OBJECT

public:
    enum Button { Ok, Cancel, Close };

    struct Seen
    {
        QString title;
        QString text;
        QString ok;
        QString cancel;
        bool cancelVisible = false;
    };

    explicit BoxAnswerer(Button button);

    QList<Seen> seen;

private:
    void answerOpenBoxes();

    Button button;
    QTimer timer;
};
