#include "boxanswerer.h"

#include "msgbox.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

BoxAnswerer::BoxAnswerer(Button button)
    : button(button)
{
    connect(&timer, &QTimer::timeout, this, &BoxAnswerer::answerOpenBoxes);
    timer.start(10);
}

void BoxAnswerer::answerOpenBoxes()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<MsgBox *>(window);
        if (!box || !box->isVisible() || box->property("answered").toBool())
            continue;
        box->setProperty("answered", true);
        auto *ok = box->findChild<QPushButton *>(QStringLiteral("okBtn"));
        auto *cancel = box->findChild<QPushButton *>(QStringLiteral("noBtn"));
        Seen s;
        s.title = box->findChild<QLabel *>(QStringLiteral("title"))->text();
        s.text = box->findChild<QLabel *>(QStringLiteral("info"))->text();
        s.ok = ok->text();
        s.cancel = cancel->text();
        s.cancelVisible = cancel->isVisible();
        seen.append(s);
        const char *name = button == Ok ? "okBtn" : button == Cancel ? "noBtn" : "closeButton";
        box->findChild<QPushButton *>(QLatin1String(name))->click();
    }
}
