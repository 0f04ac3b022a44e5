#pragma once

#include "basewidget.h"

#include <QEventLoop>

namespace Ui {
class MsgBox;
}

// The system's modal message box. run() blocks its caller in a local event loop and
// returns 0 for OK, 1 for Cancel or the close button; the box then deletes itself.
class MsgBox : public BaseWidget
{
    Q_OBJECT

public:
    // type 1: OK only; any other type: OK and Cancel.
    explicit MsgBox(int type, QWidget *parent = nullptr);
    ~MsgBox() override;

    static int run(int type, const QString &text);
    static int information(const QString &text);
    static int question(const QString &text);

    // Title shown in an English interface: empty for the installer, "Prompt" for
    // the uninstaller, which sets it at start-up.
    static QString englishTitle;

private slots:
    void on_okBtn_clicked();
    void on_noBtn_clicked();
    void on_closeButton_clicked();

private:
    void finish(int answer);

    Ui::MsgBox *ui;
    QEventLoop loop;
    int result = 0;
};
