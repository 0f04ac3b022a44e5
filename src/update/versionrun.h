#pragma once

#include "outcome.h"

#include <QObject>
#include <QString>

// What the updater's window and its silent run drive: a run that puts a version of the
// client in place (an update, a rollback) and tells how it goes.
class VersionRun : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;
    // The client of the version put in place, once applied.
    virtual QString clientExe() const = 0;
    // The version put in place, once applied.
    virtual QString version() const = 0;

signals:
    void progress(int percent);
    void note(QString text);
    void failed(Outcome outcome);
    void applied();
};
