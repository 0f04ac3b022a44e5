#pragma once

#include "basewidget.h"
#include "reporter.h"

namespace Ui {
class Widget;
}
class QButtonGroup;
class QCloseEvent;
class QNetworkAccessManager;
class QNetworkReply;

// The uninstaller's window: a confirmation page, a feedback page with reasons from the
// maker's service, and the removal with its progress; closing after the removal starts
// the script that takes the product folder away.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);
    // Tells the removal's steps and outcome through the reporter main owns.
    explicit Widget(Reporter &reporter, BaseWidget *parent = nullptr);
    ~Widget() override;

    void doUninstall();

    bool uninstalled = false;

public slots:
    void on_uninstall_clicked();
    void on_uninstall_commit_clicked();
    void on_uninstall_ok_clicked();
    void on_minBtn_clicked();
    void on_closeBtn_clicked();
    void on_cancel_clicked();
    void checkToggle(int idx, bool check);
    void repllyFinished(QNetworkReply *reply);
    void on_textEdit_textChanged();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString reasonType() const;
    void applyLanguage();
    void applyEditionLook();
    void requestReasons();
    void postFeedback();
    void setProgress(int value);

    Ui::Widget *ui;
    Reporter &reporter;
    QNetworkAccessManager *manager;
    QButtonGroup *reasonGroup;
};
