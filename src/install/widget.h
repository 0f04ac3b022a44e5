#pragma once

#include "basewidget.h"

// The installer's window.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);

    // Installs into the directory chosen at an earlier installation without asking
    // again; an empty directory leaves the window waiting for the user.
    void startWithDir(QString dir);

public slots:
    void on_install_clicked();
};
