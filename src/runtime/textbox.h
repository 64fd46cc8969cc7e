#pragma once

#include "runtime/color.h"

#include <QLineEdit>

// A one-line text box. change() follows every change of its text, typed or
// assigned; for an assignment it runs inside setText(), before it returns.
class TextBox : public QLineEdit
{
    Q_OBJECT

public:
    explicit TextBox(QWidget *parent);

    void setBackColor(Color color);

signals:
    void change();
};
