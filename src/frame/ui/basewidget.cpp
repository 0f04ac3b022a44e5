#include "basewidget.h"

#include "edition.h"

#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QtMath>

// The frame's pictures live in a static library, whose resources Qt only finds once
// they are registered by hand.
static void registerFrameResources()
{
    Q_INIT_RESOURCE(frame);
}

BaseWidget::BaseWidget(QWidget *parent)
    : QWidget(parent)
{
    static const bool registered = (registerFrameResources(), true);
    Q_UNUSED(registered)
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    loadConfiguration();
}

bool BaseWidget::canDrag(QMouseEvent *)
{
    return true;
}

void BaseWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && canDrag(event))
        dragPos = event->globalPos() - pos();
    QWidget::mousePressEvent(event);
}

void BaseWidget::mouseMoveEvent(QMouseEvent *event)
{
    // A press exactly on the left edge gives x 0 and so never drags; kept as it is.
    if (dragPos.x() != 0)
        move(event->globalPos() - dragPos);
    QWidget::mouseMoveEvent(event);
}

void BaseWidget::mouseReleaseEvent(QMouseEvent *)
{
    dragPos = QPoint(0, 0);
}

// Three rounded outlines in the outer 3-pixel band, fading outwards; the rest of the
// window stays transparent where no child paints.
void BaseWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QColor color(40, 40, 40);
    for (int i = 0; i < 3; ++i) {
        const int inset = 3 - i;
        QPainterPath path;
        path.setFillRule(Qt::WindingFill);
        // Roundness 1, in the relative measure of the old addRoundRect.
        path.addRoundedRect(inset, inset, width() - 2 * inset, height() - 2 * inset, 1, 1,
                            Qt::RelativeSize);
        color.setAlpha(int(150 - qSqrt(i) * 70));
        painter.setPen(color);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
}

bool BaseWidget::showEditionLogo(QLabel *logo, const QString &iconDir)
{
    if (third.isEmpty()) {
        logo->setStyleSheet(QStringLiteral("border-image: url(:/logo.png)"));
        return false;
    }
    // The edition's own icon where the programs carry one, as the updater brands the client
    // with it: the same in all three programs, whatever icon a package brought.
    const QString builtIn = edition::iconResource(third);
    logo->setPixmap(QIcon(QFile::exists(builtIn) ? builtIn : iconDir + QStringLiteral("/ZQ.ico")).pixmap(16, 16));
    return true;
}

void BaseWidget::setBarValue(QProgressBar *bar, int value)
{
    bar->setValue(value);
    if (bar->value() == bar->maximum())
        bar->hide();
}
