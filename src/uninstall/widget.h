#pragma once

#include "basewidget.h"

// The uninstaller's window.
class Widget : public BaseWidget
{
    Q_OBJECT

public:
    explicit Widget(BaseWidget *parent = nullptr);
};
