#include "widget.h"

Widget::Widget(BaseWidget *parent)
    : BaseWidget(parent)
{
    resize(586, 386);
}
